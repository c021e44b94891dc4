// Sorting with Python's ordering of the items compared.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

namespace quorin::py {

// Python objects are ordered only by the interpreter's own list sort: a `__lt__`
// written in Python may answer inconsistently, raise, or change the list, and
// the list sort survives all of that where a C++ sort would run off its buffer.
// The one exception is `sort_by_keys` over tuple keys whose comparisons are no
// Python code at all (see there).

// `list.sort()`: the same comparisons in the same order (and the same errors)
// as the built-in `sorted`.
void sort(PyObject* list);
// `sorted(iterable)`.
Ref sorted(PyObject* iterable);
// `list.sort(key=lambda item: item.<attribute>)`: the attribute is read once
// per item, before any comparison.
void sort_by_attribute(PyObject* list, const Name& attribute);
// `list.sort(key=...)` where the key of the `i`-th item is `keys[i]`, computed
// beforehand. Where every key is a tuple of one length whose items are,
// position by position, all exact `str` or all exact `int` that fit a machine
// word, the keys have one consistent order and compare without running Python
// code: a native stable sort then gives the list sort's result without the
// generic comparison it makes of every tuple item after the first. (Keys of one
// exact type the list sort already compares natively itself.)
void sort_by_keys(PyObject* list, PyObject* keys);

// Whether every item of `list` is an exact `str`, whose order is consistent and
// whose comparisons have no effects.
bool all_exact_str(PyObject* list) noexcept;

}  // namespace quorin::py
