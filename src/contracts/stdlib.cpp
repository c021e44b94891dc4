#include "contracts/stdlib.hpp"

#include "pyapi/runtime_state.hpp"

namespace quorin::pdk::contracts {

Ref importlib::import_module(const Context& c, PyObject* name) {
    return py::call_method(c.global(names::importlib).get(), names::import_module, name);
}

Ref importlib::reload(const Context& c, PyObject* module) {
    return py::call_method(c.global(names::importlib).get(), names::reload, module);
}

Ref sys_modules(const Context& c) {
    return py::getattr(c.global(names::sys).get(), names::modules);
}

namespace {

// `warnings.warn(..., stacklevel=2)` counts Python frames, and a native function
// has none: called from here, level 2 would name the caller's caller. So the
// call is made by a function of Python's own, whose globals are the module's
// (it reads the global `warnings` at each call) and whose frame is level 1.
constexpr const char warn_source[] =
    "def warn(message, category):\n"
    "    warnings.warn(message, category, stacklevel=2)\n";

Ref new_python_warn(PyObject* globals) {
    const Ref module_code = py::check(Py_CompileString(warn_source, "<quorin.core.pdk>", Py_file_input));
    const Ref consts = py::getattr(module_code.get(), names::co_consts);
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(consts.get()); ++i) {
        PyObject* item = PyTuple_GET_ITEM(consts.get(), i);
        if (PyCode_Check(item))
            return py::check(PyFunction_New(item, globals));
    }
    py::raise(PyExc_SystemError, "no function in the warning helper's code");
}

// Made once for the module's globals; held as long as the module's runtime.
py::StaticRef python_warn;

PyObject* python_warn_for(PyObject* globals) {
    if (python_warn.get() == nullptr || PyFunction_GET_GLOBALS(python_warn.get()) != globals)
        python_warn.reset(new_python_warn(globals));
    return python_warn.get();
}

}  // namespace

void warn(const Context& c, PyObject* message, PyObject* category) {
    const Ref warn = Ref::borrow(python_warn_for(c.globals()));
    py::call(warn.get(), message, category);
}

Ref copy(const Context& c, PyObject* obj) {
    return py::call(c.global(names::copy).get(), obj);
}
Ref deepcopy(const Context& c, PyObject* obj) {
    return py::call(c.global(names::deepcopy).get(), obj);
}
Ref cast(const Context& c, const py::Name& type_name, PyObject* obj) {
    const Ref cast = c.global(names::cast);
    const Ref type = c.global(type_name);
    return py::call(cast.get(), type, obj);
}
Ref defaultdict_of_lists(const Context& c) {
    const Ref defaultdict = c.global(names::defaultdict);
    return py::call(defaultdict.get(), c.global(names::list));
}
Ref get(PyObject* groups, PyObject* key, PyObject* default_value) {
    return py::call_method(groups, names::get, key, default_value);
}
void append(PyObject* group, PyObject* item) {
    if (PyList_CheckExact(group))
        py::list_append(group, item);
    else
        py::call_method(group, names::append, item);
}

Ref functools::cache(PyObject* cache, PyObject* function) {
    return py::call(cache, function);
}
Ref functools::call_wrapped(PyObject* function) {
    return py::call_method(function, names::dunder_wrapped);
}

Ref lower(PyObject* text) {
    return py::call_method(text, names::lower);
}

}  // namespace quorin::pdk::contracts
