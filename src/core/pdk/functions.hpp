// The bodies of the module's functions, one per module function.
#pragma once

#include "pyapi/function.hpp"

namespace quorin::pdk {

using py::Context;
using py::Ref;

// PDK service
Ref get_pdk(const Context& c);
Ref get_base_pdk(const Context& c);
Ref activate_pdk_by_name(const Context& c);
// `FrozenPdk.__setattr__` and `__delattr__`.
Ref frozen_pdk_refuse_change(const Context& c);
Ref get_project_pdk(const Context& c);  // `_get_pdk`

// Registration
Ref register_cells(const Context& c);
Ref sort_paths(const Context& c);
Ref sort_key(const Context& c);  // `_sort_paths.<locals>._sort_key`
Ref error_cell(const Context& c);
Ref import_modules(const Context& c);
Ref handle_import_errors(const Context& c);
Ref find_cells(const Context& c);
Ref get_database_updates(const Context& c);
Ref clean_containers_also_in_cells(const Context& c);
Ref filter_records_for_non_pdk_project(const Context& c);

// The body of every error cell: raises the exception its closure holds.
Ref raise_stored_error(const Context& c);

// Builds an error cell named `funcname` in module `modname` that raises `error`;
// `globals` is the module namespace its lookups would use.
Ref make_error_cell(PyObject* globals, PyObject* funcname, PyObject* modname, PyObject* error);

}  // namespace quorin::pdk
