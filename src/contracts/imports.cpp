#include "contracts/imports.hpp"

#include "contracts/builtins.hpp"

namespace quorin::pdk::contracts::imports {

Ref import_modules_function(const Context& c) {
    return py::getattr(c.global(names::imports).get(), names::import_modules);
}

Ref call_import_modules(PyObject* import_modules, PyObject* paths, bool reload) {
    return py::call_kw(import_modules, names::kw_paths_reload_from_project, paths,
                       reload ? Py_True : Py_False, Py_False);
}

Ref get_cells_from_regex(const Context& c, PyObject* path) {
    // The read of the global is part of the guarded lookup: a missing
    // `imports` is a failed search like any other.
    try {
        return py::call_method(c.global(names::imports).get(), names::get_cells_from_regex, path);
    } catch (const py::Error& error) {
        if (!builtins::caught_by(c, error.exception(), names::Exception))
            throw;
        return Ref();
    }
}

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

Ref module_attribute(const Context& c, PyObject* module, PyObject* name) {
    return builtins::getattr(c, module, name, Py_None);
}

}  // namespace quorin::pdk::contracts::imports
