// `_sort_paths`: the order in which a run's source files are imported.
#include "contracts/paths.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/sort.hpp"

#include <algorithm>
#include <numeric>
#include <vector>

namespace quorin::pdk {

namespace {
namespace paths = contracts::paths;

Py_ssize_t len(PyObject* o) {
    const Py_ssize_t n = PyObject_Size(o);
    if (n < 0)
        py::throw_raised();
    return n;
}

Ref size_object(PyObject* o) {
    return py::check(PyLong_FromSsize_t(len(o)));
}

// `(len(p.parts), len(str(p)), str(p))`.
Ref sort_key(PyObject* p) {
    const Ref depth = size_object(paths::parts(p).get());
    const Ref length = size_object(py::str(p).get());
    const Ref text = py::str(p);
    return py::check(PyTuple_Pack(3, depth.get(), length.get(), text.get()));
}

// The key's parts, where the text is an exact `str`: exact `str` have one
// consistent order and compare without running any Python code, so a native
// stable sort gives what the list sort would, without its generic comparisons.
struct NativeKey {
    Py_ssize_t depth;
    Py_ssize_t length;
    PyObject* text;

    bool operator<(const NativeKey& other) const noexcept {
        if (depth != other.depth)
            return depth < other.depth;
        if (length != other.length)
            return length < other.length;
        return PyUnicode_Compare(text, other.text) < 0;  // cannot fail on two exact `str`
    }
};

// Sorts `items` by `keys` natively when every key's text is an exact `str`;
// false, with nothing done, otherwise.
bool sort_natively(PyObject* items, PyObject* keys) {
    const Py_ssize_t count = PyList_GET_SIZE(keys);
    std::vector<NativeKey> native;
    native.reserve(std::size_t(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* key = PyList_GET_ITEM(keys, i);
        PyObject* text = PyTuple_GET_ITEM(key, 2);
        if (!PyUnicode_CheckExact(text))
            return false;
        native.push_back({.depth = PyLong_AsSsize_t(PyTuple_GET_ITEM(key, 0)),
                          .length = PyLong_AsSsize_t(PyTuple_GET_ITEM(key, 1)),
                          .text = text});
    }
    std::vector<std::size_t> order(native.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, [&](std::size_t a, std::size_t b) { return native[a] < native[b]; });
    const Ref sorted = py::new_list(count);
    for (Py_ssize_t i = 0; i < count; ++i)
        PyList_SET_ITEM(sorted.get(), i,
                        Py_NewRef(PyList_GET_ITEM(items, Py_ssize_t(order[std::size_t(i)]))));
    py::check_status(PyList_SetSlice(items, 0, count, sorted.get()));
    return true;
}

}  // namespace

Ref sort_paths(const Context& c) {
    Ref resolved = py::new_list();
    py::for_each(c.arg(0), [&](PyObject* p) {
        py::list_append(resolved.get(), paths::resolve(paths::path(c, p).get()).get());
    });
    // Every key is computed, in list order, before the first comparison, as
    // `sorted(..., key=...)` does.
    const Py_ssize_t count = PyList_GET_SIZE(resolved.get());
    const Ref keys = py::new_list(count);
    for (Py_ssize_t i = 0; i < count; ++i)
        PyList_SET_ITEM(keys.get(), i, sort_key(PyList_GET_ITEM(resolved.get(), i)).release());
    if (!sort_natively(resolved.get(), keys.get()))
        py::sort_by_keys(resolved.get(), keys.get());
    return resolved;
}

}  // namespace quorin::pdk
