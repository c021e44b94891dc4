// `_handle_import_errors`: error cells and error records for the cells of the
// files that failed to import.
#include "contracts/builtins.hpp"
#include "contracts/imports.hpp"
#include "contracts/logger.hpp"
#include "contracts/paths.hpp"
#include "contracts/records.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
namespace imports = contracts::imports;
namespace records = contracts::records;

Ref group_by_path(const Context& c, PyObject* static_records) {
    Ref static_records_by_path = contracts::defaultdict_of_lists(c);
    py::for_each_item(static_records, [&](PyObject*, PyObject* record) {
        const Ref path = records::absolute_source(record);
        const Ref group = py::getitem(static_records_by_path.get(), path.get());
        contracts::append(group.get(), record);
    });
    return static_records_by_path;
}

void warn_failed_file(const Context& c, PyObject* path, PyObject* error) {
    const auto warning = contracts::logger::warning(c);
    const Ref file_name = py::text(contracts::paths::file_name(path).get());
    const Ref error_text = py::text(error);
    const Ref text = py::format("%U: %U", file_name, error_text);
    warning(text.get());
}

// The names of the file's static records; `get` leaves the grouping as it is.
Ref static_names_of(PyObject* static_records_by_path, PyObject* path) {
    const Ref group = contracts::get(static_records_by_path, path, py::new_list().get());
    Ref static_names = py::new_list();
    py::for_each(group.get(),
                 [&](PyObject* record) { py::list_append(static_names.get(), records::name(record).get()); });
    return static_names;
}

// `names = set(regex_names)`, then `names.update(static_names)`.
Ref names_set(const Context& c, PyObject* regex_names, PyObject* static_names) {
    Ref names = contracts::builtins::call(c, names::set, regex_names);
    py::call_method(names.get(), names::update, static_names);
    return names;
}

Ref error_record(const Context& c, PyObject* static_records, PyObject* name, PyObject* path,
                 PyObject* error) {
    Ref record = py::dict_get(static_records, name);
    if (!record || record.is(Py_None)) {
        const Ref factory_record = records::factory_record_class(c);
        const Ref source = contracts::builtins::call(c, names::str, path);
        const Ref message = contracts::builtins::call(c, names::str, error);
        return records::new_record(factory_record.get(), name, source.get(), names::ERROR_, message.get());
    }
    // The caller's record stays as the call graph gave it.
    record = contracts::deepcopy(c, record.get());
    records::set_status(record.get(), names::ERROR_);
    records::set_message(record.get(), contracts::builtins::call(c, names::str, error).get());
    return record;
}

}  // namespace

Ref handle_import_errors(const Context& c) {
    PyObject* static_records = c.arg(0);
    PyObject* errors = c.arg(1);
    const Ref error_cells = py::new_dict();
    const Ref error_records = py::new_dict();
    const Ref static_records_by_path = group_by_path(c, static_records);

    py::for_each_item(errors, [&](PyObject* path, PyObject* failure) {
        const auto modname_error = py::unpack2(failure);
        PyObject* modname = modname_error.first.get();
        PyObject* error = modname_error.second.get();
        warn_failed_file(c, path, error);
        // The call graph misses cells of a file that does not import; the
        // pattern search finds them, on a best-effort basis.
        Ref regex_names = imports::get_cells_from_regex(c, path);
        if (!regex_names)
            regex_names = py::new_list();
        const Ref static_names = static_names_of(static_records_by_path.get(), path);
        const Ref names = names_set(c, regex_names.get(), static_names.get());
        // Set order, not list order: a name in both lists is handled once.
        py::for_each(names.get(), [&](PyObject* name) {
            const Ref cell = py::call(c.global(names::_error_cell).get(), name, modname, error);
            py::dict_set(error_cells.get(), name, cell.get());
            py::dict_set(error_records.get(), name, error_record(c, static_records, name, path, error).get());
        });
    });
    return py::check(PyTuple_Pack(2, error_cells.get(), error_records.get()));
}

}  // namespace quorin::pdk
