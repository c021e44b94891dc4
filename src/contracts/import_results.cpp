#include "contracts/import_results.hpp"

namespace quorin::pdk::contracts::imports {

namespace {
py::Name get_name{"get"};
}  // namespace

Ref result_entry(PyObject* mapping, PyObject* path) {
    // An exact dict cannot override `get`, so the direct lookup is the same call.
    if (PyDict_CheckExact(mapping))
        return py::dict_get(mapping, path);
    return py::call_method(mapping, get_name, path, Py_None);
}

Ref module_entry(PyObject* mapping, PyObject* path) {
    if (PyDict_CheckExact(mapping))
        return py::dict_get(mapping, path);
    return py::call_method(mapping, get_name, path);
}

}  // namespace quorin::pdk::contracts::imports
