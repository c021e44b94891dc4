// `_import_modules`: imports or reloads the source files of the static records.
#include "contracts/builtins.hpp"
#include "contracts/imports.hpp"
#include "contracts/records.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

#include <tuple>

namespace quorin::pdk {

namespace {
namespace imports = contracts::imports;
namespace records = contracts::records;

// `list({record.absolute_source(): None for record in static_records.values()})`:
// each record path once, in the order of its first record.
Ref record_paths(const Context& c, PyObject* static_records) {
    return contracts::builtins::call(c, names::list, [&] {
        Ref seen = py::new_dict();
        py::for_each_item(static_records, [&](PyObject*, PyObject* record) {
            py::dict_set(seen.get(), records::absolute_source(record).get(), Py_None);
        });
        return seen;
    });
}

Ref requested(PyObject* _paths, PyObject* paths) {
    Ref kept = py::new_list();
    py::for_each(_paths, [&](PyObject* p) {
        if (py::contains(paths, p))
            py::list_append(kept.get(), p);
    });
    return kept;
}

// The entries of `raw` under the record paths whose values are true, keyed
// and ordered by the record paths whatever form the service reports.
Ref found(PyObject* raw, PyObject* _paths) {
    Ref entries = py::new_dict();
    // Iterated like a Python loop: `_paths` has been handed to `_sort_paths`.
    py::for_each(_paths, [&](PyObject* p) {
        const Ref value = imports::result_entry(raw, p);
        if (value && py::truth(value.get()))
            py::dict_set(entries.get(), p, value.get());
    });
    return entries;
}

}  // namespace

Ref import_modules(const Context& c) {
    PyObject* static_records = c.arg(0);
    PyObject* paths = c.arg(1);
    const bool reload = c.flag(2);

    Ref _paths = record_paths(c, static_records);
    if (py::truth(paths))
        _paths = requested(_paths.get(), paths);

    Ref raw_modules, raw_errors;
    {
        // The result is unpacked and dropped at once; its two parts are locals.
        const Ref import_modules = imports::import_modules_function(c);
        const Ref sorted_paths = py::call(c.global(names::_sort_paths).get(), _paths.get());
        std::tie(raw_modules, raw_errors) =
            py::unpack2(imports::call_import_modules(import_modules.get(), sorted_paths.get(), reload).get());
    }
    Ref modules = found(raw_modules.get(), _paths.get());
    Ref errors = found(raw_errors.get(), _paths.get());
    Ref result = py::check(PyTuple_Pack(2, modules.get(), errors.get()));
    py::release_in_order(_paths, raw_modules, raw_errors, modules, errors);
    return result;
}

}  // namespace quorin::pdk
