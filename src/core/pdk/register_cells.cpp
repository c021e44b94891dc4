// `register_cells`: one registration run, step after step. Each step is a
// module global, read at the moment of use, or an outside service.
#include "contracts/callgraph.hpp"
#include "contracts/database.hpp"
#include "contracts/layout.hpp"
#include "contracts/records.hpp"
#include "contracts/settings.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
namespace cg = contracts::callgraph;
namespace db = contracts::database;
namespace lm = contracts::layout;

// The stored records the run compares with: those of the given paths' cells
// and of every name stored for those paths.
Ref present_records_for(const Context& c, PyObject* static_records, PyObject* paths) {
    Ref present_records =
        py::truth(static_records) ? db::get_factories_by_name(c, static_records) : py::new_dict();
    const Ref source_names_map = db::get_factories_by_source(c, paths);
    const Ref extra_names = py::new_list();
    auto collect = [&](PyObject* names) {
        py::for_each(names, [&](PyObject* name) {
            if (!py::contains(present_records.get(), name))
                py::list_append(extra_names.get(), name);
        });
    };
    db::for_each_names(source_names_map.get(), collect);
    if (PyList_GET_SIZE(extra_names.get()) > 0)
        py::update_with(present_records.get(),
                        [&] { return db::get_factories_by_name(c, extra_names.get()); });
    return present_records;
}

}  // namespace

Ref register_cells(const Context& c) {
    const Ref paths = py::check(PySequence_List(c.arg(0)));
    const bool reload = c.flag(1);

    const Ref pdk = py::call(c.global(names::get_pdk).get());
    const Ref base_pdk = py::call(c.global(names::get_base_pdk).get());
    const Ref G = cg::create_callgraph(c);
    Ref static_records = cg::get_static_records(c, G.get(), paths.get());
    if (!contracts::settings::is_a_pdk(c))
        static_records =
            py::call(c.global(names::_filter_records_for_non_pdk_project).get(), static_records, base_pdk);

    const auto [modules, errors] =
        py::unpack2(py::call_kw(c.global(names::_import_modules).get(), names::kw_reload, static_records,
                                paths, reload ? Py_True : Py_False)
                        .get());
    const auto [error_cells, error_records] =
        py::unpack2(py::call(c.global(names::_handle_import_errors).get(), static_records, errors).get());
    py::update(static_records.get(), error_records.get());

    const Ref new_cells = py::call(c.global(names::_find_cells).get(), static_records, modules);
    py::update(new_cells.get(), error_cells.get());

    const lm::CellsUpdate register_in_pdk{pdk.get()};
    const Ref registered = py::new_dict();
    py::for_each_pair(new_cells.get(), [&](PyObject* name, PyObject* cell) {
        if (py::contains(static_records.get(), name))
            py::setitem(registered.get(), name, cell);
    });
    register_in_pdk(registered.get());

    const Ref present_records = PyList_GET_SIZE(paths.get()) > 0
                                    ? present_records_for(c, static_records.get(), paths.get())
                                    : db::get_all_factories(c);
    const auto [add, remove] = py::unpack2(
        py::call(c.global(names::_get_database_updates).get(), static_records, present_records, paths).get());
    db::update_factories(c, add.get(), remove.get());

    py::for_each(remove.get(), [&](PyObject* name) {
        if (py::contains(lm::cells(pdk.get()).get(), name))
            py::delitem(lm::cells(pdk.get()).get(), name);
    });
    const Ref added = py::new_list();
    py::for_each(add.get(), [&](PyObject* record) {
        py::list_append(added.get(), contracts::records::name(record).get());
    });
    if (reload)
        cg::register_models(c, G.get());
    py::call(c.global(names::_clean_containers_also_in_cells).get(), pdk);
    return py::check(PyTuple_Pack(2, added.get(), remove.get()));
}

}  // namespace quorin::pdk
