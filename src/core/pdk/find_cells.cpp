// `_find_cells`: the cell functions of the unresolved static records, with
// error cells where a module or a function is missing.
#include "contracts/builtins.hpp"
#include "contracts/imports.hpp"
#include "contracts/logger.hpp"
#include "contracts/paths.hpp"
#include "contracts/records.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

#include <tuple>

namespace quorin::pdk {

namespace {
namespace records = contracts::records;

bool is_none(const Ref& value) {
    return !value || value.is(Py_None);
}

Ref module_not_found_message(PyObject* static_record, PyObject* path) {
    const Ref name = py::text(records::name(static_record).get());
    const Ref path_text = py::text(path);
    return py::format("Module for cell '%U' with path %U not found.", name, path_text);
}

Ref cell_not_found_message(PyObject* static_record, PyObject* path) {
    const Ref name = py::text(records::name(static_record).get());
    const Ref path_text = py::text(path);
    return py::format("Cell '%U' not found in '%U'.", name, path_text);
}

// The record is marked as failed with the message `compose` makes then, which
// is logged and becomes the `error_type` the error cell raises, each time read
// back from the record. Returns the exception made and the error cell.
template <class Compose>
std::tuple<Ref, Ref> fail(const Context& c, PyObject* name, PyObject* static_record, PyObject* path,
                          Compose&& compose, const py::Name& error_type) {
    records::set_status(static_record, names::ERROR_);
    records::set_message(static_record, compose().get());
    const auto warning = contracts::logger::warning(c);
    warning(records::message(static_record).get());
    Ref error = contracts::builtins::call(c, error_type, [&] { return records::message(static_record); });
    const Ref error_cell = c.global(names::_error_cell);
    const Ref modname = contracts::paths::file_name(path);
    Ref cell = py::call(error_cell.get(), name, modname, error);
    return {std::move(error), std::move(cell)};
}

}  // namespace

Ref find_cells(const Context& c) {
    PyObject* const static_records = c.arg(0);
    PyObject* const modules = c.arg(1);
    Ref new_cells = py::new_dict();
    // The loop's locals, held as long as the Python function holds them.
    Ref name, static_record, path, mod, extra_modules, _, error, cell;
    py::for_each_item(static_records, [&](PyObject* key, PyObject* value) {
        name = Ref::borrow(key);
        static_record = Ref::borrow(value);
        if (py::compare(records::status(static_record.get()).get(), names::UNKNOWN, Py_NE))
            return;
        path = records::absolute_source(static_record.get());
        mod = py::dict_get(modules, path.get());
        if (is_none(mod)) {
            // Not among the run's files: imported now, without reloading, and
            // kept in `modules` for later records and for the caller.
            const Ref import_modules = contracts::imports::import_modules_function(c);
            const Ref paths = py::new_list(1);
            PyList_SET_ITEM(paths.get(), 0, Ref(path).release());
            std::tie(extra_modules, _) = py::unpack2(
                contracts::imports::call_import_modules(import_modules.get(), paths.get(), false).get());
            py::update(modules, extra_modules.get());
            mod = contracts::imports::module_entry(extra_modules.get(), path.get());
        }
        const bool module_missing = is_none(mod);
        if (!module_missing)
            cell = contracts::imports::module_attribute(c, mod.get(), name.get());
        if (module_missing || is_none(cell)) {
            Ref error_cell;
            std::tie(error, error_cell) = fail(
                c, name.get(), static_record.get(), path.get(),
                [&] {
                    return module_missing ? module_not_found_message(static_record.get(), path.get())
                                          : cell_not_found_message(static_record.get(), path.get());
                },
                module_missing ? names::ModuleNotFoundError : names::ImportError);
            py::dict_set(new_cells.get(), name.get(), error_cell.get());
            return;
        }
        py::dict_set(new_cells.get(), name.get(), cell.get());
    });
    py::release_in_order(name, static_record, path, mod, extra_modules, _, error, cell);
    return new_cells;
}

}  // namespace quorin::pdk
