// `_get_pdk`: resolves and imports the PDK the project's settings name.
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"

namespace quorin::pdk {

namespace {
namespace settings = contracts::settings;
namespace importlib = contracts::importlib;

py::Name lower_name{"lower"};
py::Name get_generic_pdk_name{"get_generic_pdk"};
py::Name wrapped_name{"__wrapped__"};
py::Name pdk_attr{"PDK"};
py::Name generic_name{"generic"};
py::Name generic_tech_module{"lumset.generic_tech"};
py::Name gpdk_module{"lumset.gpdk"};
py::NameTuple generic_pdks{"generic", "gpdk"};

Ref lower(PyObject* s) {
    return py::call_method(s, lower_name);
}

Ref from_generic_module(const Context& c, PyObject* import_name) {
    PyObject* lib_name = py::compare(lower(import_name).get(), generic_name, Py_EQ)
                             ? generic_tech_module.get()
                             : gpdk_module.get();
    const bool needs_reload = py::contains(contracts::sys_modules(c).get(), lib_name);
    Ref generic_tech = importlib::import_module(c, lib_name);
    if (needs_reload)
        generic_tech = importlib::reload(c, generic_tech.get());
    // The undecorated factory: the library's own cache is bypassed.
    const Ref get_generic_pdk = py::getattr(generic_tech.get(), get_generic_pdk_name);
    return py::call_method(get_generic_pdk.get(), wrapped_name);
}

Ref submodule_key(PyObject* import_name) {
    const Ref name_text = py::text(import_name);
    return py::format("%U.pdk", name_text);
}

Ref from_package(const Context& c, PyObject* import_name) {
    Ref submod = Ref::borrow(Py_None);
    const bool needs_reload = py::contains(contracts::sys_modules(c).get(), import_name);
    Ref module = importlib::import_module(c, import_name);
    if (needs_reload) {
        module = importlib::reload(c, module.get());
        if (py::contains(contracts::sys_modules(c).get(), submodule_key(import_name).get())) {
            const Ref registered =
                py::getitem(contracts::sys_modules(c).get(), submodule_key(import_name).get());
            submod = importlib::reload(c, registered.get());
        }
    }
    if (!py::hasattr(module.get(), pdk_attr) && !py::hasattr(submod.get(), pdk_attr)) {
        const Ref name_text = py::text(import_name);
        const Ref msg = py::format("Module '%U' does not expose a PDK in its __init__.py.", name_text);
        throw py::Error(py::call(PyExc_ImportError, msg));
    }
    return py::getattr(py::hasattr(submod.get(), pdk_attr) ? submod.get() : module.get(), pdk_attr);
}

}  // namespace

Ref get_project_pdk(const Context& c) {
    const Ref import_name = settings::get_pdk_name(c);
    const Ref project_name = settings::get_project_name(c);
    const bool generic = py::contains(generic_pdks, lower(import_name.get()).get()) &&
                         !py::contains(generic_pdks, lower(project_name.get()).get());
    return generic ? from_generic_module(c, import_name.get()) : from_package(c, import_name.get());
}

}  // namespace quorin::pdk
