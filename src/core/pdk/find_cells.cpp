// `_find_cells`: the cell functions of the unresolved static records, with
// error cells where a module or a function is missing.
#include "contracts/imports.hpp"
#include "contracts/logger.hpp"
#include "contracts/paths.hpp"
#include "contracts/records.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
namespace records = contracts::records;

bool is_none(const Ref& value) {
    return !value || value.is(Py_None);
}

// A module that the run did not import: imported now, without reloading, and
// kept in `modules` for later records and for the caller.
Ref import_on_demand(const Context& c, PyObject* modules, PyObject* path) {
    const Ref import_modules = contracts::imports::import_modules_function(c);
    const Ref paths = py::new_list(1);
    PyList_SET_ITEM(paths.get(), 0, Ref::borrow(path).release());
    const Ref result = contracts::imports::call_import_modules(import_modules.get(), paths.get(), false);
    const auto [extra_modules, ignored] = py::unpack2(result.get());
    py::update(modules, extra_modules.get());
    return contracts::imports::module_entry(extra_modules.get(), path);
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

// The record already carries its failure: the message is logged and becomes
// the exception the error cell raises, each time read back from the record.
Ref failure_cell(const Context& c, PyObject* name, PyObject* static_record, PyObject* path,
                 PyObject* error_type) {
    const auto warning = contracts::logger::warning(c);
    warning(records::message(static_record).get());
    const Ref error = py::call(error_type, records::message(static_record));
    const Ref error_cell = c.global(names::_error_cell);
    const Ref modname = contracts::paths::file_name(path);
    return py::call(error_cell.get(), name, modname, error);
}

}  // namespace

Ref find_cells(const Context& c) {
    PyObject* const static_records = c.arg(0);
    PyObject* const modules = c.arg(1);
    Ref new_cells = py::new_dict();
    py::for_each_item(static_records, [&](PyObject* name, PyObject* static_record) {
        if (py::compare(records::status(static_record).get(), names::UNKNOWN, Py_NE))
            return;
        const Ref path = records::absolute_source(static_record);
        Ref mod = py::dict_get(modules, path.get());
        if (is_none(mod)) {
            mod = import_on_demand(c, modules, path.get());
            if (is_none(mod)) {
                records::set_status(static_record, names::ERROR_);
                const Ref message = module_not_found_message(static_record, path.get());
                records::set_message(static_record, message.get());
                const Ref error_cell =
                    failure_cell(c, name, static_record, path.get(), PyExc_ModuleNotFoundError);
                py::dict_set(new_cells.get(), name, error_cell.get());
                return;
            }
        }
        const Ref cell = contracts::imports::module_attribute(mod.get(), name);
        if (is_none(cell)) {
            records::set_status(static_record, names::ERROR_);
            const Ref message = cell_not_found_message(static_record, path.get());
            records::set_message(static_record, message.get());
            const Ref error_cell = failure_cell(c, name, static_record, path.get(), PyExc_ImportError);
            py::dict_set(new_cells.get(), name, error_cell.get());
            return;
        }
        py::dict_set(new_cells.get(), name, cell.get());
    });
    return new_cells;
}

}  // namespace quorin::pdk
