// Comparisons that skip the generic protocol when both sides are exact `str`,
// where the outcome cannot differ.
#pragma once

#include "pyapi/fast_paths.hpp"
#include "pyapi/ops.hpp"

namespace quorin::py {

// `a != b` and its truth value.
inline bool not_equal(PyObject* a, PyObject* b) {
    if (on(FastPath::exact_str) && PyUnicode_CheckExact(a) && PyUnicode_CheckExact(b))
        return a != b && PyUnicode_Compare(a, b) != 0;
    return compare(a, b, Py_NE);
}

}  // namespace quorin::py
