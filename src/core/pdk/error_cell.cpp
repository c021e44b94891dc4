// `_error_cell` and the error cells it makes: callables that raise the
// exception a cell's module failed with.
#include "contracts/builtins.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"
#include "core/pdk/surface.hpp"
#include "pyapi/ops.hpp"

namespace quorin::pdk {

namespace {

// The annotations every error cell starts from, built once: a run can make
// thousands of cells, and each copies them only if they are read.
RowAnnotations annotations_template{error_cell_row};

}  // namespace

Ref make_error_cell(PyObject* globals, PyObject* funcname, PyObject* modname, PyObject* error) {
    // The traceback as it is now, put back before every raise: re-raising one
    // instance would otherwise grow its traceback by the caller's frames each call.
    const Ref traceback =
        PyExceptionInstance_Check(error) ? Ref::steal(PyException_GetTraceback(error)) : Ref();
    const Ref closure = py::check(PyTuple_Pack(2, error, traceback ? traceback.get() : Py_None));
    return py::new_function({.def = &error_cell_row.def,
                             .name = funcname,
                             .qualname = funcname,
                             .module_name = modname,
                             .doc = Py_None,
                             .annotations = nullptr,
                             .annotations_template = annotations_template.get(),
                             .globals = globals,
                             .closure = closure.get()});
}

Ref error_cell(const Context& c) {
    Ref error = Ref::borrow(c.arg(2));
    if (contracts::builtins::isinstance(c, error.get(), names::str))
        error = contracts::builtins::call(c, names::RuntimeError, error.get());
    return make_error_cell(c.globals(), c.arg(0), c.arg(1), error.get());
}

Ref raise_stored_error(const Context& c) {
    PyObject* error = PyTuple_GET_ITEM(c.closure(), 0);
    if (PyExceptionInstance_Check(error)) {
        py::check_status(PyException_SetTraceback(error, PyTuple_GET_ITEM(c.closure(), 1)));
        py::raise_chained(reinterpret_cast<PyObject*>(Py_TYPE(error)), error);
    }
    if (PyExceptionClass_Check(error)) {
        const Ref instance = py::call(error);
        if (!PyExceptionInstance_Check(instance.get()))
            py::raise(PyExc_TypeError, "calling %R should have returned an instance of BaseException, not %R",
                      error, reinterpret_cast<PyObject*>(Py_TYPE(instance.get())));
        py::raise_chained(error, instance.get());
    }
    py::raise(PyExc_TypeError, "raise: exception class must be a subclass of BaseException");
}

}  // namespace quorin::pdk
