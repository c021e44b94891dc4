// Sorting with Python's ordering of the items compared.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace quorin::py {

// `list.sort()`: the interpreter's own stable sort, so the same comparisons in
// the same order (and the same errors) as the built-in `sorted`.
void sort(PyObject* list);
// `list.sort(key=lambda item: item.<attribute>)`: the attribute is read once
// per item, before any comparison.
void sort_by_attribute(PyObject* list, const Name& attribute);

// `a < b` where `a` and `b` are the last items of two tuples that are equal
// before them: items equal by identity or `==` are not less, as tuples compare.
bool last_item_less(PyObject* a, PyObject* b);

// The positions 0..n-1 in the stable order `less(i, j)` gives; an exception
// thrown by `less` ends the sort and propagates.
template <class Less>
std::vector<std::size_t> stable_order(std::size_t n, Less&& less) {
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), less);
    return order;
}

}  // namespace quorin::py
