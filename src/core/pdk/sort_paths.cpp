// `_sort_paths`: the order in which a run's source files are imported.
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/sort.hpp"

#include <vector>

namespace quorin::pdk {

namespace {
py::Name resolve_name{"resolve"};
py::Name parts_name{"parts"};

// `(len(p.parts), len(str(p)), str(p))`, built once per path so that the
// sort compares the two counts natively.
struct SortKey {
    Py_ssize_t depth;
    Py_ssize_t length;
    Ref text;
};

Py_ssize_t len(PyObject* o) {
    const Py_ssize_t n = PyObject_Size(o);
    if (n < 0)
        py::throw_raised();
    return n;
}

SortKey sort_key(PyObject* p) {
    const Py_ssize_t depth = len(py::getattr(p, parts_name).get());
    const Py_ssize_t length = len(py::str(p).get());
    return {depth, length, py::str(p)};
}

bool operator<(const SortKey& a, const SortKey& b) {
    if (a.depth != b.depth)
        return a.depth < b.depth;
    if (a.length != b.length)
        return a.length < b.length;
    return py::last_item_less(a.text.get(), b.text.get());
}

}  // namespace

Ref sort_paths(const Context& c) {
    const Ref resolved = py::new_list();
    py::for_each(c.arg(0), [&](PyObject* p) {
        py::list_append(resolved.get(), py::call_method(contracts::path(c, p).get(), resolve_name).get());
    });

    // Every key is computed, in list order, before the first comparison.
    const Py_ssize_t count = PyList_GET_SIZE(resolved.get());
    std::vector<SortKey> keys;
    keys.reserve(std::size_t(count));
    for (Py_ssize_t i = 0; i < count; ++i)
        keys.push_back(sort_key(PyList_GET_ITEM(resolved.get(), i)));

    const auto order =
        py::stable_order(keys.size(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    Ref result = py::new_list(count);
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* p = PyList_GET_ITEM(resolved.get(), Py_ssize_t(order[std::size_t(i)]));
        PyList_SET_ITEM(result.get(), i, Py_NewRef(p));
    }
    return result;
}

}  // namespace quorin::pdk
