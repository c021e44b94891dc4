#include "pyapi/sort.hpp"

#include "pyapi/identifiers.hpp"
#include "pyapi/ops.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

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
    check(PyObject_VectorcallMethod(names::sort, stack, 1, names::kw_key.get()));
}

// One item of a key, as the native sort compares it.
struct Atom {
    PyObject* text;  // an exact `str`, or null for a number
    long long number;

    int compare(const Atom& other) const noexcept {
        if (text != nullptr)
            return PyUnicode_Compare(text, other.text);  // cannot fail on two exact `str`
        return (number > other.number) - (number < other.number);
    }
};

// The item as an atom of the kind its position holds; false where it is not
// one, or not of that kind.
bool to_atom(PyObject* item, bool is_text, Atom& atom) noexcept {
    if (is_text) {
        atom = {.text = item, .number = 0};
        return PyUnicode_CheckExact(item);
    }
    if (!PyLong_CheckExact(item))
        return false;
    int overflow = 0;
    atom = {.text = nullptr, .number = PyLong_AsLongLongAndOverflow(item, &overflow)};
    return overflow == 0 && !PyErr_Occurred();
}

// The keys as rows of atoms, `width` to a key; empty where any key is not a
// tuple of the one shape the first key sets.
std::vector<Atom> native_keys(PyObject* keys, Py_ssize_t& width) {
    const Py_ssize_t count = PyList_GET_SIZE(keys);
    if (count == 0)
        return {};
    PyObject* const first = PyList_GET_ITEM(keys, 0);
    if (!PyTuple_CheckExact(first))
        return {};
    width = PyTuple_GET_SIZE(first);
    std::vector<bool> is_text(static_cast<std::size_t>(width));
    for (Py_ssize_t j = 0; j < width; ++j)
        is_text[std::size_t(j)] = PyUnicode_CheckExact(PyTuple_GET_ITEM(first, j));
    std::vector<Atom> atoms(static_cast<std::size_t>(count * width));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* const key = PyList_GET_ITEM(keys, i);
        if (!PyTuple_CheckExact(key) || PyTuple_GET_SIZE(key) != width)
            return {};
        for (Py_ssize_t j = 0; j < width; ++j) {
            PyObject* const item = PyTuple_GET_ITEM(key, j);
            if (!to_atom(item, is_text[std::size_t(j)], atoms[std::size_t(i * width + j)]))
                return {};
        }
    }
    return atoms;
}

// Sorts natively, as `sort_by_keys` says; false, with nothing done, where the
// keys are not all of one such shape.
bool sort_natively(PyObject* list, PyObject* keys) {
    const Py_ssize_t count = PyList_GET_SIZE(list);
    if (PyList_GET_SIZE(keys) != count)
        return false;
    Py_ssize_t width = 0;
    const std::vector<Atom> atoms = native_keys(keys, width);
    if (atoms.empty())
        return count == 0;
    const auto less = [&](std::size_t a, std::size_t b) {
        for (std::size_t j = 0; j < std::size_t(width); ++j) {
            const int order = atoms[a * std::size_t(width) + j].compare(atoms[b * std::size_t(width) + j]);
            if (order != 0)
                return order < 0;
        }
        return false;
    };
    std::vector<std::size_t> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, less);
    // The list holds the only references the reordering needs: items are
    // moved, not counted again.
    std::vector<PyObject*> items(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i] = PyList_GET_ITEM(list, Py_ssize_t(order[i]));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyList_SET_ITEM(list, Py_ssize_t(i), items[i]);
    return true;
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

void sort_by_attribute(PyObject* list, const Name& attribute) {
    const Ref key = check(PyCFunction_New(&attribute_key_def, attribute));
    sort_with_key(list, key.get());
}

void sort_by_keys(PyObject* list, PyObject* keys) {
    if (sort_natively(list, keys))
        return;
    // The list sort calls its key once per item, in list order, before it
    // compares anything: the next precomputed key is that item's.
    const Ref key = check(PyCFunction_New(&next_key_def, iter(keys).get()));
    sort_with_key(list, key.get());
}

bool all_exact_str(PyObject* list) noexcept {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i)
        if (!PyUnicode_CheckExact(PyList_GET_ITEM(list, i)))
            return false;
    return true;
}

}  // namespace quorin::py
