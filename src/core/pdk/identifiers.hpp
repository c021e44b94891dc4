// The interned names of the module and of its contracts: the globals it
// reads, the attributes and methods of the outside components it calls and
// the keywords it passes, each declared once, named after its text by the
// rule stated in pyapi/identifiers.hpp.
//
// This table extends the C++ layer's own (pyapi/identifiers.hpp), which it
// makes visible as part of `names`: a text that layer uses already, such as
// "update" or the empty text, is declared there and not again here.
#pragma once

#include "pyapi/identifiers.hpp"

namespace quorin::pdk::names {

using namespace py::names;

inline py::Name absolute_source{"absolute_source"};
inline py::Name activate{"activate"};
inline py::Name append{"append"};
inline py::Name cache{"cache"};
inline py::Name cast{"cast"};
inline py::Name cells{"cells"};
inline py::Name cg{"cg"};
inline py::Name _clean_containers_also_in_cells{"_clean_containers_also_in_cells"};
inline py::Name co_consts{"co_consts"};
inline py::Name containers{"containers"};
inline py::Name copy{"copy"};
inline py::Name create_callgraph{"create_callgraph"};
inline py::Name db{"db"};
inline py::Name debug{"debug"};
inline py::Name deepcopy{"deepcopy"};
inline py::Name defaultdict{"defaultdict"};
inline py::Name dunder_class{"__class__"};
inline py::Name dunder_dict{"__dict__"};
inline py::Name dunder_doc{"__doc__"};
inline py::Name dunder_module{"__module__"};
inline py::Name dunder_orig_bases{"__orig_bases__"};
inline py::Name dunder_qualname{"__qualname__"};
inline py::Name dunder_wrapped{"__wrapped__"};
inline py::Name ERROR_{"ERROR"};  // Windows headers define ERROR as a macro
inline py::Name _error_cell{"_error_cell"};
inline py::Name FactoryRecord{"FactoryRecord"};
inline py::Name _filter_records_for_non_pdk_project{"_filter_records_for_non_pdk_project"};
inline py::Name _find_cells{"_find_cells"};
inline py::Name frozendict{"frozendict"};
inline py::Name FrozenPdk{"FrozenPdk"};
inline py::Name generic{"generic"};
inline py::Name get{"get"};
inline py::Name get_all_factories{"get_all_factories"};
inline py::Name get_base_pdk{"get_base_pdk"};
inline py::Name get_cells_from_regex{"get_cells_from_regex"};
inline py::Name _get_database_updates{"_get_database_updates"};
inline py::Name get_factories_by_name{"get_factories_by_name"};
inline py::Name get_factories_by_source{"get_factories_by_source"};
inline py::Name get_generic_pdk{"get_generic_pdk"};
inline py::Name _get_pdk{"_get_pdk"};
inline py::Name get_pdk{"get_pdk"};
inline py::Name get_pdk_name{"get_pdk_name"};
inline py::Name get_project_dir{"get_project_dir"};
inline py::Name get_project_name{"get_project_name"};
inline py::Name get_static_records{"get_static_records"};
inline py::Name _handle_import_errors{"_handle_import_errors"};
inline py::Name import_module{"import_module"};
inline py::Name _import_modules{"_import_modules"};
inline py::Name import_modules{"import_modules"};
inline py::Name importlib{"importlib"};
inline py::Name imports{"imports"};
inline py::Name info{"info"};
inline py::Name is_a_pdk{"is_a_pdk"};
inline py::Name lm{"lm"};
inline py::Name log{"log"};
inline py::Name lower{"lower"};
inline py::Name lumset_generic_tech{"lumset.generic_tech"};
inline py::Name lumset_gpdk{"lumset.gpdk"};
inline py::Name m{"m"};
inline py::Name message{"message"};
inline py::Name modules{"modules"};
inline py::Name name{"name"};
inline py::Name parts{"parts"};
inline py::Name Path{"Path"};
inline py::Name PDK{"PDK"};
inline py::Name Pdk{"Pdk"};
inline py::Name prepare_class{"prepare_class"};
inline py::Name quorin_core_pdk{"quorin.core.pdk"};
inline py::Name register_models{"register_models"};
inline py::Name relative_to{"relative_to"};
inline py::Name reload{"reload"};
inline py::Name resolve{"resolve"};
inline py::Name resolve_bases{"resolve_bases"};
inline py::Name settings{"settings"};
inline py::Name _sort_paths{"_sort_paths"};
inline py::Name source{"source"};
inline py::Name startswith{"startswith"};
inline py::Name status{"status"};
inline py::Name sys{"sys"};
inline py::Name TYPE_CHECKING{"TYPE_CHECKING"};
inline py::Name UNKNOWN{"UNKNOWN"};
inline py::Name update_factories{"update_factories"};
inline py::Name values{"values"};
inline py::Name warning{"warning"};

inline py::NameTuple kw_add_remove{"add", "remove"};
inline py::NameTuple kw_name_source_status_message{"name", "source", "status", "message"};
inline py::NameTuple kw_paths{"paths"};
inline py::NameTuple kw_paths_reload_from_project{"paths", "reload", "from_project"};
inline py::NameTuple kw_reload{"reload"};
inline py::NameTuple tuple_generic_gpdk{"generic", "gpdk"};

}  // namespace quorin::pdk::names
