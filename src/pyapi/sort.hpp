// Sorting as the built-in `sorted` does it, with the interpreter's own stable
// sort: the same comparisons in the same order, so the same errors, and its
// fast path for lists of `str`.
#pragma once

#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

namespace quorin::py {

// `list.sort()`.
void sort(PyObject* list);
// `list.sort(key=lambda item: item.<attribute>)`: the attribute is read once
// per item, before any comparison.
void sort_by_attribute(PyObject* list, const Name& attribute);

}  // namespace quorin::py
