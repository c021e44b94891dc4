#include "contracts/stdlib.hpp"

namespace quorin::pdk::contracts {

namespace {
py::Name importlib_name{"importlib"};
py::Name import_module_name{"import_module"};
py::Name reload_name{"reload"};
py::Name sys_name{"sys"};
py::Name modules_name{"modules"};
py::Name warnings_name{"warnings"};
py::Name warn_name{"warn"};
py::Name copy_name{"copy"};
py::Name deepcopy_name{"deepcopy"};
py::Name cast_name{"cast"};
py::Name path_name{"Path"};
py::Name defaultdict_name{"defaultdict"};
py::NameTuple kw_stacklevel{"stacklevel"};
}  // namespace

Ref importlib::import_module(const Context& c, PyObject* name) {
    return py::call_method(c.global(importlib_name).get(), import_module_name, name);
}

Ref importlib::reload(const Context& c, PyObject* module) {
    return py::call_method(c.global(importlib_name).get(), reload_name, module);
}

Ref sys_modules(const Context& c) {
    return py::getattr(c.global(sys_name).get(), modules_name);
}

void warn(const Context& c, PyObject* message, PyObject* category) {
    const Ref warn = py::getattr(c.global(warnings_name).get(), warn_name);
    const Ref level = py::check(PyLong_FromLong(2));
    py::call_kw(warn.get(), kw_stacklevel, message, category, level);
}

Ref copy(const Context& c, PyObject* obj) {
    return py::call(c.global(copy_name).get(), obj);
}
Ref deepcopy(const Context& c, PyObject* obj) {
    return py::call(c.global(deepcopy_name).get(), obj);
}
Ref cast(const Context& c, PyObject* type, PyObject* obj) {
    return py::call(c.global(cast_name).get(), type, obj);
}
Ref path(const Context& c, PyObject* p) {
    return py::call(c.global(path_name).get(), p);
}
Ref defaultdict_of_lists(const Context& c) {
    return py::call(c.global(defaultdict_name).get(), reinterpret_cast<PyObject*>(&PyList_Type));
}

}  // namespace quorin::pdk::contracts
