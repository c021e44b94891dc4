#include "pyapi/sort.hpp"

#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {
Name sort_name{"sort"};
NameTuple kw_key{"key"};

// The key function; its `self` is the attribute name.
PyObject* attribute_of(PyObject* attribute, PyObject* item) {
    return PyObject_GetAttr(item, attribute);
}
PyMethodDef attribute_key_def = {"key", attribute_of, METH_O, nullptr};
}  // namespace

void sort(PyObject* list) {
    check_status(PyList_Sort(list));
}

void sort_by_attribute(PyObject* list, const Name& attribute) {
    const Ref key = check(PyCFunction_New(&attribute_key_def, attribute));
    PyObject* stack[] = {list, key.get()};
    check(PyObject_VectorcallMethod(sort_name, stack, 1, kw_key.get()));
}

bool last_item_less(PyObject* a, PyObject* b) {
    if (PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b))
        return PyUnicode_Compare(a, b) < 0;  // cannot fail on two exact str
    const int equal = PyObject_RichCompareBool(a, b, Py_EQ);
    check_status(equal);
    if (equal)
        return false;
    const int less = PyObject_RichCompareBool(a, b, Py_LT);
    check_status(less);
    return less == 1;
}

}  // namespace quorin::py
