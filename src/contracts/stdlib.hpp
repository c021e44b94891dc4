// The standard-library globals the module calls, and the standard objects
// it acts on.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts {

namespace importlib {
Ref import_module(const Context& c, PyObject* name);
Ref reload(const Context& c, PyObject* module);
// `importlib.reload(module())`: `importlib.reload` is read before the module
// is found.
template <class Module>
Ref reload_found(const Context& c, Module&& module) {
    const Ref reload = py::getattr(c.global(names::importlib).get(), names::reload);
    const Ref found = module();
    return py::call(reload.get(), found);
}
}  // namespace importlib

// `sys.modules`, read from the global `sys`.
Ref sys_modules(const Context& c);
// `warnings.warn(message, category, stacklevel=2)`.
void warn(const Context& c, PyObject* message, PyObject* category);
Ref copy(const Context& c, PyObject* obj);
Ref deepcopy(const Context& c, PyObject* obj);
// `cast(<global type_name>, obj)`: `cast` is read before the type's global.
Ref cast(const Context& c, const py::Name& type_name, PyObject* obj);
// `defaultdict(list)`.
Ref defaultdict_of_lists(const Context& c);
// `groups.get(key, default_value)`.
Ref get(PyObject* groups, PyObject* key, PyObject* default_value);
// `group.append(item)`.
void append(PyObject* group, PyObject* item);

namespace functools {
// `cache(function)`, with the global `cache` as start-up reads it.
Ref cache(PyObject* cache, PyObject* function);
// `function.__wrapped__()`: the function a `functools.cache` wraps, called
// without the cache.
Ref call_wrapped(PyObject* function);
}  // namespace functools

// The `str` methods of the texts the components answer with (which may be
// any object, and are called as such).

// `text.lower()`.
Ref lower(PyObject* text);
// `text.startswith(prefix())`: the method is looked up before the prefix is
// made. An exact `str` is answered directly, as its method would.
template <class Prefix>
bool startswith(PyObject* text, Prefix&& prefix) {
    if (PyUnicode_CheckExact(text)) {
        const Py_ssize_t match = PyUnicode_Tailmatch(text, prefix().get(), 0, PY_SSIZE_T_MAX, -1);
        py::check_status(int(match));
        return match == 1;
    }
    const Ref method = py::getattr(text, names::startswith);
    return py::truth(py::call(method.get(), prefix()).get());
}

}  // namespace quorin::pdk::contracts
