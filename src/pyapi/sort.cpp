#include "pyapi/sort.hpp"

namespace quorin::py {

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
