// `_clean_containers_also_in_cells`: a name that is both a cell and a container
// of a PDK stays in one registry only.
#include "contracts/builtins.hpp"
#include "contracts/factories.hpp"
#include "contracts/layout.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
namespace layout = contracts::layout;

// `f"{name}."`.
Ref project_prefix(PyObject* name) {
    const Ref name_text = py::text(name);
    return py::check(PyUnicode_Concat(name_text.get(), names::dot));
}

// `mod.startswith(f"{name}.")`: the method is looked up before the prefix is
// composed.
bool starts_with_project_prefix(PyObject* mod, PyObject* name) {
    return contracts::startswith(mod, [&] { return project_prefix(name); });
}

void remove_cell(PyObject* pdk, PyObject* k) {
    py::delitem(layout::cells(pdk).get(), k);
}
void remove_container(PyObject* pdk, PyObject* k) {
    py::delitem(layout::containers(pdk).get(), k);
}

}  // namespace

Ref clean_containers_also_in_cells(const Context& c) {
    PyObject* const pdk = c.arg(0);
    Ref name = contracts::settings::get_project_name(c);
    Ref k, container, cell, container_mod, cell_mod;
    // A snapshot: the loop deletes from the registry it walks.
    py::for_each(contracts::builtins::call(c, names::list, layout::containers(pdk).get()).get(),
                 [&](PyObject* key) {
                     k = Ref::borrow(key);
                     if (!py::contains(layout::cells(pdk).get(), k.get()))
                         return;
                     container = py::getitem(layout::containers(pdk).get(), k.get());
                     cell = py::getitem(layout::cells(pdk).get(), k.get());
                     if (container.is(cell.get())) {
                         remove_cell(pdk, k.get());
                         return;
                     }
                     // A factory that cannot say where it comes from gives way.
                     container_mod = contracts::factories::module_name(c, container.get());
                     if (!py::truth(container_mod.get())) {
                         remove_container(pdk, k.get());
                         return;
                     }
                     cell_mod = contracts::factories::module_name(c, cell.get());
                     if (!py::truth(cell_mod.get())) {
                         remove_cell(pdk, k.get());
                         return;
                     }
                     // The project's own definition wins; between two foreign ones, the cell.
                     if (starts_with_project_prefix(container_mod.get(), name.get()))
                         remove_cell(pdk, k.get());
                     else if (starts_with_project_prefix(cell_mod.get(), name.get()))
                         remove_container(pdk, k.get());
                     else if (py::contains(layout::containers(pdk).get(), k.get()) &&
                              py::contains(layout::cells(pdk).get(), k.get()))
                         remove_container(pdk, k.get());
                 });
    py::release_in_order(name, k, container, cell, container_mod, cell_mod);
    return Ref::borrow(Py_None);
}

}  // namespace quorin::pdk
