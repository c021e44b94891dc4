#include "contracts/import_results.hpp"

namespace quorin::pdk::contracts::imports {

Ref result_entry(PyObject* mapping, PyObject* path) {
    // An exact dict cannot override `get`, so the direct lookup is the same call.
    if (PyDict_CheckExact(mapping))
        return py::dict_get(mapping, path);
    return py::call_method(mapping, names::get, path, Py_None);
}

Ref module_entry(PyObject* mapping, PyObject* path) {
    if (PyDict_CheckExact(mapping))
        return py::dict_get(mapping, path);
    return py::call_method(mapping, names::get, path);
}

}  // namespace quorin::pdk::contracts::imports
