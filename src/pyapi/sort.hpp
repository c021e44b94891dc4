// Sorting with Python's ordering of the items compared.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

namespace quorin::py {

// Python objects are ordered only by the interpreter's own list sort: a `__lt__`
// written in Python may answer inconsistently, raise, or change the list, and
// the list sort survives all of that where a C++ sort would run off its buffer.

// `list.sort()`: the same comparisons in the same order (and the same errors)
// as the built-in `sorted`.
void sort(PyObject* list);
// `sorted(iterable)`.
Ref sorted(PyObject* iterable);
// `lambda item: item.<attribute>`, a key function.
Ref attribute_getter(const Name& attribute);
// `list.sort(key=lambda item: item.<attribute>)`: the attribute is read once
// per item, before any comparison.
void sort_by_attribute(PyObject* list, const Name& attribute);
// `list.sort(key=...)` where the key of the `i`-th item is `keys[i]`, computed
// beforehand.
void sort_by_keys(PyObject* list, PyObject* keys);

}  // namespace quorin::py
