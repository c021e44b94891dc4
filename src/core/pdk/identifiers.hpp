// The interned names the module itself uses beyond its contracts': its own
// globals and function names, each declared once, named after its text by the
// rule stated in pyapi/identifiers.hpp.
//
// This table extends the contracts' (contracts/identifiers.hpp), which extends
// the C++ layer's (pyapi/identifiers.hpp): a text declared in one of those is
// not declared again here.
#pragma once

#include "contracts/identifiers.hpp"

namespace quorin::pdk::names {

inline py::Name cache{"cache"};
inline py::Name _clean_containers_also_in_cells{"_clean_containers_also_in_cells"};
inline py::Name dot{"."};
inline py::Name dunder_doc{"__doc__"};
inline py::Name dunder_orig_bases{"__orig_bases__"};
inline py::Name dunder_qualname{"__qualname__"};
inline py::Name ERROR_{"ERROR"};  // Windows headers define ERROR as a macro
inline py::Name _error_cell{"_error_cell"};
inline py::Name _filter_records_for_non_pdk_project{"_filter_records_for_non_pdk_project"};
inline py::Name _find_cells{"_find_cells"};
inline py::Name FrozenPdk{"FrozenPdk"};
inline py::Name generic{"generic"};
inline py::Name get_base_pdk{"get_base_pdk"};
inline py::Name _get_database_updates{"_get_database_updates"};
inline py::Name _get_pdk{"_get_pdk"};
inline py::Name get_pdk{"get_pdk"};
inline py::Name _handle_import_errors{"_handle_import_errors"};
inline py::Name _import_modules{"_import_modules"};
inline py::Name lm{"lm"};
inline py::Name lumset_generic_tech{"lumset.generic_tech"};
inline py::Name lumset_gpdk{"lumset.gpdk"};
inline py::Name prepare_class{"prepare_class"};
inline py::Name quorin_core_pdk{"quorin.core.pdk"};
inline py::Name resolve_bases{"resolve_bases"};
inline py::Name _sort_paths{"_sort_paths"};
inline py::Name TYPE_CHECKING{"TYPE_CHECKING"};
inline py::Name UNKNOWN{"UNKNOWN"};

inline py::NameTuple tuple_generic_gpdk{"generic", "gpdk"};

}  // namespace quorin::pdk::names
