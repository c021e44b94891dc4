#include "contracts/imports.hpp"

namespace quorin::pdk::contracts::imports {

namespace {
py::Name imports_name{"imports"};
py::Name import_modules_name{"import_modules"};
py::Name get_cells_from_regex_name{"get_cells_from_regex"};
py::NameTuple kw_import{"paths", "reload", "from_project"};
}  // namespace

Ref import_modules_function(const Context& c) {
    return py::getattr(c.global(imports_name).get(), import_modules_name);
}

Ref call_import_modules(PyObject* import_modules, PyObject* paths, bool reload) {
    return py::call_kw(import_modules, kw_import, paths, reload ? Py_True : Py_False, Py_False);
}

Ref get_cells_from_regex(const Context& c, PyObject* path) {
    // The read of the global is part of the guarded lookup: a missing
    // `imports` is a failed search like any other.
    try {
        return py::call_method(c.global(imports_name).get(), get_cells_from_regex_name, path);
    } catch (const py::Error& error) {
        if (!PyErr_GivenExceptionMatches(error.exception(), PyExc_Exception))
            throw;
        return Ref();
    }
}

}  // namespace quorin::pdk::contracts::imports
