// `_get_pdk`: resolves and imports the PDK the project's settings name.
#include "contracts/builtins.hpp"
#include "contracts/layout.hpp"
#include "contracts/pdk_package.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
namespace settings = contracts::settings;
namespace importlib = contracts::importlib;
namespace pdk_package = contracts::pdk_package;
using contracts::lower;

Ref from_generic_module(const Context& c, PyObject* import_name) {
    PyObject* lib_name = py::compare(lower(import_name).get(), names::generic, Py_EQ)
                             ? names::lumset_generic_tech.get()
                             : names::lumset_gpdk.get();
    const bool needs_reload = py::contains(contracts::sys_modules(c).get(), lib_name);
    Ref generic_tech = importlib::import_module(c, lib_name);
    if (needs_reload)
        generic_tech = importlib::reload(c, generic_tech.get());
    // The undecorated factory: the library's own cache is bypassed.
    const Ref get_generic_pdk = contracts::layout::get_generic_pdk(generic_tech.get());
    return contracts::functools::call_wrapped(get_generic_pdk.get());
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
        // `key in sys.modules` makes the key first; the reload reads its
        // callee before the item.
        const Ref key = submodule_key(import_name);
        if (py::contains(contracts::sys_modules(c).get(), key.get())) {
            submod = importlib::reload_found(c, [&] {
                const Ref modules = contracts::sys_modules(c);
                return py::getitem(modules.get(), submodule_key(import_name).get());
            });
        }
    }
    if (!pdk_package::exposes_pdk(c, module.get()) && !pdk_package::exposes_pdk(c, submod.get())) {
        const Ref name_text = py::text(import_name);
        const Ref msg = py::format("Module '%U' does not expose a PDK in its __init__.py.", name_text);
        contracts::builtins::raise(c, names::ImportError, msg.get());
    }
    return pdk_package::pdk(pdk_package::exposes_pdk(c, submod.get()) ? submod.get() : module.get());
}

}  // namespace

Ref get_project_pdk(const Context& c) {
    const Ref import_name = settings::get_pdk_name(c);
    const Ref project_name = settings::get_project_name(c);
    const bool generic = py::contains(names::tuple_generic_gpdk, lower(import_name.get()).get()) &&
                         !py::contains(names::tuple_generic_gpdk, lower(project_name.get()).get());
    return generic ? from_generic_module(c, import_name.get()) : from_package(c, import_name.get());
}

}  // namespace quorin::pdk
