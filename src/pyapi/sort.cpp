#include "pyapi/sort.hpp"

#include "pyapi/identifiers.hpp"
#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {

// The key function; its `self` is the attribute name.
PyObject* attribute_of(PyObject* attribute, PyObject* item) {
    return PyObject_GetAttr(item, attribute);
}
PyMethodDef attribute_key_def = {
    .ml_name = "key", .ml_meth = attribute_of, .ml_flags = METH_O, .ml_doc = nullptr};

// The key function; its `self` is an iterator over the keys, in item order.
PyObject* next_key(PyObject* keys, PyObject*) {
    PyObject* key = PyIter_Next(keys);
    if (key == nullptr && !PyErr_Occurred())
        PyErr_SetString(PyExc_SystemError, "more items than keys");
    return key;
}
PyMethodDef next_key_def = {.ml_name = "key", .ml_meth = next_key, .ml_flags = METH_O, .ml_doc = nullptr};

void sort_with_key(PyObject* list, PyObject* key) {
    PyObject* stack[] = {list, key};
    returned(PyObject_VectorcallMethod(names::sort, stack, 1, names::kw_key.get()), Where::current());
}

}  // namespace

void sort(PyObject* list) {
    check_status(PyList_Sort(list));
}

Ref sorted(PyObject* iterable) {
    Ref list = check(PySequence_List(iterable));
    sort(list.get());
    return list;
}

Ref attribute_getter(const Name& attribute) {
    return check(PyCFunction_New(&attribute_key_def, attribute));
}

void sort_by_attribute(PyObject* list, const Name& attribute) {
    sort_with_key(list, attribute_getter(attribute).get());
}

void sort_by_keys(PyObject* list, PyObject* keys) {
    // The list sort calls its key once per item, in list order, before it
    // compares anything: the next precomputed key is that item's.
    const Ref key = check(PyCFunction_New(&next_key_def, iter(keys).get()));
    sort_with_key(list, key.get());
}

}  // namespace quorin::py
