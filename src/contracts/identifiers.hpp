// The interned names of the contracts: the globals they read, the
// attributes and methods of the outside components they call and the keywords
// they pass, each declared once, named after its text by the rule stated in
// pyapi/identifiers.hpp.
//
// This table extends the C++ layer's own (pyapi/identifiers.hpp), which it
// makes visible as part of `names`: a text that layer uses already, such as
// "update" or the empty text, is declared there and not again here. The
// module's table (core/pdk/identifiers.hpp) extends this one in turn.
#pragma once

#include "pyapi/identifiers.hpp"

namespace quorin::pdk::names {

using namespace py::names;

inline py::Name absolute_source{"absolute_source"};
inline py::Name activate{"activate"};
inline py::Name append{"append"};
inline py::Name cast{"cast"};
inline py::Name cells{"cells"};
inline py::Name cg{"cg"};
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
inline py::Name dunder_import{"__import__"};
inline py::Name dunder_name{"__name__"};
inline py::Name dunder_module{"__module__"};
inline py::Name dunder_wrapped{"__wrapped__"};
inline py::Name FactoryRecord{"FactoryRecord"};
inline py::Name frozendict{"frozendict"};
inline py::Name get{"get"};
inline py::Name get_all_factories{"get_all_factories"};
inline py::Name get_cells_from_regex{"get_cells_from_regex"};
inline py::Name get_factories_by_name{"get_factories_by_name"};
inline py::Name get_factories_by_source{"get_factories_by_source"};
inline py::Name get_generic_pdk{"get_generic_pdk"};
inline py::Name get_pdk_name{"get_pdk_name"};
inline py::Name get_project_dir{"get_project_dir"};
inline py::Name get_project_name{"get_project_name"};
inline py::Name get_static_records{"get_static_records"};
inline py::Name import_module{"import_module"};
inline py::Name import_modules{"import_modules"};
inline py::Name importlib{"importlib"};
inline py::Name imports{"imports"};
inline py::Name info{"info"};
inline py::Name is_a_pdk{"is_a_pdk"};
inline py::Name log{"log"};
inline py::Name lower{"lower"};
inline py::Name m{"m"};
inline py::Name message{"message"};
inline py::Name modules{"modules"};
inline py::Name name{"name"};
inline py::Name parts{"parts"};
inline py::Name Path{"Path"};
inline py::Name PDK{"PDK"};
inline py::Name Pdk{"Pdk"};
inline py::Name register_models{"register_models"};
inline py::Name relative_to{"relative_to"};
inline py::Name reload{"reload"};
inline py::Name resolve{"resolve"};
inline py::Name settings{"settings"};
inline py::Name source{"source"};
inline py::Name startswith{"startswith"};
inline py::Name status{"status"};
inline py::Name sys{"sys"};
inline py::Name update_factories{"update_factories"};
inline py::Name values{"values"};
inline py::Name warning{"warning"};
// What the record filter's `relative_to` shortcut looks at in pathlib and the
// modules its code runs in.
inline py::Name _collections_abc{"_collections_abc"};
inline py::Name _drv{"_drv"};
inline py::Name _format_parsed_parts{"_format_parsed_parts"};
inline py::Name _from_parsed_parts{"_from_parsed_parts"};
inline py::Name _from_parsed_string{"_from_parsed_string"};
inline py::Name _parse_path{"_parse_path"};
inline py::Name _path{"_path"};
inline py::Name _PathParents{"_PathParents"};
inline py::Name _raw_path{"_raw_path"};
inline py::Name _raw_paths{"_raw_paths"};
inline py::Name _root{"_root"};
inline py::Name _str{"_str"};
inline py::Name _str_normcase{"_str_normcase"};
inline py::Name _str_normcase_cached{"_str_normcase_cached"};
inline py::Name _tail{"_tail"};
inline py::Name _tail_cached{"_tail_cached"};
inline py::Name chain{"chain"};
inline py::Name drive{"drive"};
inline py::Name dunder_contains{"__contains__"};
inline py::Name dunder_eq{"__eq__"};
inline py::Name dunder_getitem{"__getitem__"};
inline py::Name dunder_init{"__init__"};
inline py::Name dunder_iter{"__iter__"};
inline py::Name dunder_len{"__len__"};
inline py::Name dunder_new{"__new__"};
inline py::Name dunder_str{"__str__"};
inline py::Name enumerate{"enumerate"};
inline py::Name fspath{"fspath"};
inline py::Name IndexError{"IndexError"};
inline py::Name isinstance{"isinstance"};
inline py::Name len{"len"};
inline py::Name object{"object"};
inline py::Name os{"os"};
inline py::Name parents{"parents"};
inline py::Name parser{"parser"};
// "pathlib._local" and "pathlib._abc": C++ reserves the double underscore
// that joining their parts would give.
inline py::Name pathlib_abc{"pathlib._abc"};
inline py::Name pathlib_local{"pathlib._local"};
inline py::Name PosixPath{"PosixPath"};
inline py::Name posixpath{"posixpath"};
inline py::Name PurePath{"PurePath"};
inline py::Name PurePosixPath{"PurePosixPath"};
inline py::Name root{"root"};
inline py::Name sep{"sep"};
inline py::Name slice{"slice"};
inline py::Name splitdrive{"splitdrive"};
inline py::Name splitroot{"splitroot"};
inline py::Name str{"str"};
inline py::Name super{"super"};
inline py::Name type{"type"};
inline py::Name ValueError{"ValueError"};
inline py::Name walk_up{"walk_up"};
inline py::Name AttributeError{"AttributeError"};
inline py::Name DeprecationWarning{"DeprecationWarning"};
inline py::Name Exception{"Exception"};
inline py::Name getattr{"getattr"};
inline py::Name hasattr{"hasattr"};
inline py::Name ImportError{"ImportError"};
inline py::Name list{"list"};
inline py::Name ModuleNotFoundError{"ModuleNotFoundError"};
inline py::Name RuntimeError{"RuntimeError"};
inline py::Name set{"set"};
inline py::Name sorted{"sorted"};
inline py::Name tuple{"tuple"};
inline py::Name dict{"dict"};
inline py::Name with_segments{"with_segments"};

inline py::NameTuple kw_add_remove{"add", "remove"};
inline py::NameTuple kw_name_source_status_message{"name", "source", "status", "message"};
inline py::NameTuple kw_paths{"paths"};
inline py::NameTuple kw_paths_reload_from_project{"paths", "reload", "from_project"};
inline py::NameTuple kw_reload{"reload"};

}  // namespace quorin::pdk::names
