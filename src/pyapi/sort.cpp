#include "pyapi/sort.hpp"

#include "pyapi/error.hpp"

namespace quorin::py {

namespace {

// The key function; its `self` is the attribute name.
PyObject* attribute_of(PyObject* attribute, PyObject* item) {
    return PyObject_GetAttr(item, attribute);
}
PyMethodDef attribute_key_def = {
    .ml_name = "key", .ml_meth = attribute_of, .ml_flags = METH_O, .ml_doc = nullptr};

}  // namespace

Ref attribute_getter(const Name& attribute) {
    return check(PyCFunction_New(&attribute_key_def, attribute));
}

}  // namespace quorin::py
