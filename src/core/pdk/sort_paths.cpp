// `_sort_paths`: the order in which a run's source files are imported.
#include "contracts/paths.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/sort.hpp"

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
    py::sort_by_keys(resolved.get(), keys.get());
    return resolved;
}

}  // namespace quorin::pdk
