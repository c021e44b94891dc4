// `register_cells`: one registration run, step after step. Each step is a
// module global, read at the moment of use, or an outside service.
#include "contracts/builtins.hpp"
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

// The locals of the stored-records step, kept until the run returns (`name`
// is bound again by the deletions).
struct PresentRecords {
    Ref present_records, source_names_map, extra_names, names, name;
};

// The stored records the run compares with: those of the given paths' cells
// and of every name stored for those paths.
void present_records_for(const Context& c, PyObject* static_records, PyObject* paths, PresentRecords& l) {
    l.present_records =
        py::truth(static_records) ? db::get_factories_by_name(c, static_records) : py::new_dict();
    l.source_names_map = db::get_factories_by_source(c, paths);
    l.extra_names = py::new_list();
    db::for_each_names(l.source_names_map.get(), [&](PyObject* names) {
        l.names = Ref::borrow(names);
        py::for_each(names, [&](PyObject* name) {
            l.name = Ref::borrow(name);
            if (!py::contains(l.present_records.get(), name))
                py::list_append(l.extra_names.get(), name);
        });
    });
    if (py::truth(l.extra_names.get()))
        py::update_with(l.present_records.get(),
                        [&] { return db::get_factories_by_name(c, l.extra_names.get()); });
}

}  // namespace

Ref register_cells(const Context& c) {
    Ref paths = contracts::builtins::call(c, names::list, c.arg(0));
    const bool reload = c.flag(1);

    Ref pdk = py::call(c.global(names::get_pdk).get());
    Ref base_pdk = py::call(c.global(names::get_base_pdk).get());
    Ref G = cg::create_callgraph(c);
    Ref static_records = cg::get_static_records(c, G.get(), paths.get());
    if (!contracts::settings::is_a_pdk(c))
        static_records =
            py::call(c.global(names::_filter_records_for_non_pdk_project).get(), static_records, base_pdk);

    auto [modules, errors] = py::unpack2(py::call_kw(c.global(names::_import_modules).get(), names::kw_reload,
                                                     static_records, paths, reload ? Py_True : Py_False)
                                             .get());
    auto [error_cells, error_records] =
        py::unpack2(py::call(c.global(names::_handle_import_errors).get(), static_records, errors).get());
    py::update(static_records.get(), error_records.get());

    Ref new_cells = py::call(c.global(names::_find_cells).get(), static_records, modules);
    py::update(new_cells.get(), error_cells.get());

    const lm::CellsUpdate register_in_pdk{pdk.get()};
    const Ref registered = py::new_dict();
    py::for_each_pair(new_cells.get(), [&](PyObject* name, PyObject* cell) {
        if (py::contains(static_records.get(), name))
            py::setitem(registered.get(), name, cell);
    });
    register_in_pdk(registered.get());

    PresentRecords l;
    if (py::truth(paths.get()))
        present_records_for(c, static_records.get(), paths.get(), l);
    else
        l.present_records = db::get_all_factories(c);
    auto [add, remove] = py::unpack2(
        py::call(c.global(names::_get_database_updates).get(), static_records, l.present_records, paths)
            .get());
    db::update_factories(c, add.get(), remove.get());

    py::for_each(remove.get(), [&](PyObject* n) {
        l.name = Ref::borrow(n);
        if (py::contains(lm::cells(pdk.get()).get(), n))
            py::delitem(lm::cells(pdk.get()).get(), n);
    });
    Ref added = py::new_list();
    py::for_each(add.get(), [&](PyObject* record) {
        py::list_append(added.get(), contracts::records::name(record).get());
    });
    if (reload)
        cg::register_models(c, G.get());
    py::call(c.global(names::_clean_containers_also_in_cells).get(), pdk);
    Ref result = py::check(PyTuple_Pack(2, added.get(), remove.get()));
    // Released as the interpreter clears the Python function's locals.
    py::release_in_order(paths, pdk, base_pdk, G, static_records, modules, errors, error_cells, error_records,
                         new_cells, l.present_records, l.source_names_map, l.extra_names, l.names, l.name,
                         add, remove, added);
    return result;
}

}  // namespace quorin::pdk
