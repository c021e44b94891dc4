#include "core/pdk/surface.hpp"

#include "core/pdk/functions.hpp"
#include "pyapi/ops.hpp"

namespace quorin::pdk {

namespace {

using py::Check;
using py::Default;
using py::Kind;
using py::Param;

constexpr LazyBinding lazy[] = {
    {"m", "quorin.models", nullptr},
    {"cg", "quorin.core.callgraph", nullptr},
    {"lm", "lumset", nullptr},
    {"log", "quorin.logger", "get_logger"},
    {"settings", "quorin.settings", nullptr},
    {"frozendict", "frozendict", "frozendict"},
    {"imports", "quorin.core.imports", nullptr},
    {"db", "quorin.core.database", nullptr},
    {"register_models", "quorin.core.models", "register_models"},
};

constexpr Param register_cells_params[] = {
    {"paths", Kind::keyword_only, Check::none, Default::empty_tuple},
    {"reload", Kind::keyword_only, Check::truth, Default::true_value},
};
constexpr Param activate_params[] = {{"name", Kind::positional, Check::exact_str}};
constexpr Param setattr_params[] = {{"self"}, {"name", Kind::positional, Check::exact_str}, {"value"}};
constexpr Param delattr_params[] = {{"self"}, {"name", Kind::positional, Check::exact_str}};
constexpr Param sort_paths_params[] = {{"paths"}};
constexpr Param error_cell_params[] = {
    {"funcname", Kind::positional, Check::exact_str},
    {"modname", Kind::positional, Check::exact_str},
    {"error"},
};
constexpr Param import_modules_params[] = {
    {"static_records", Kind::positional, Check::exact_dict},
    {"paths", Kind::positional, Check::exact_list},
    {"reload", Kind::keyword_only, Check::truth, Default::true_value},
};
constexpr Param handle_import_errors_params[] = {
    {"static_records", Kind::positional, Check::exact_dict},
    {"errors", Kind::positional, Check::exact_dict},
};
constexpr Param find_cells_params[] = {
    {"static_records", Kind::positional, Check::exact_dict},
    {"modules", Kind::positional, Check::exact_dict},
};
constexpr Param database_updates_params[] = {
    {"static_records", Kind::positional, Check::exact_dict},
    {"present_records", Kind::positional, Check::exact_dict},
    {"paths", Kind::positional, Check::exact_list},
};
constexpr Param clean_containers_params[] = {{"pdk"}};
constexpr Param filter_records_params[] = {
    {"static_records", Kind::positional, Check::exact_dict},
    {"base_pdk"},
};
constexpr Param error_cell_call_params[] = {{"args", Kind::var_positional}, {"kwargs", Kind::var_keyword}};

constexpr Annotation returns_pdk[] = {{"return", "lm.Pdk"}};
constexpr Annotation get_base_pdk_annotations[] = {{"return", "lm.Pdk | FrozenPdk"}};
constexpr Annotation register_cells_annotations[] = {
    {"paths", "Iterable[Path]"},
    {"reload", "bool"},
    {"return", "tuple[list[str], list[str]]"},
};
constexpr Annotation activate_annotations[] = {{"name", "str"}, {"return", "lm.Pdk"}};
constexpr Annotation setattr_annotations[] = {{"name", "str"}, {"value", "Any"}, {"return", "None"}};
constexpr Annotation delattr_annotations[] = {{"name", "str"}, {"return", "None"}};
constexpr Annotation sort_paths_annotations[] = {{"paths", "Iterable[Path]"}, {"return", "list[Path]"}};
constexpr Annotation error_cell_annotations[] = {
    {"funcname", "str"},
    {"modname", "str"},
    {"error", "str | Exception"},
    {"return", "Callable"},
};
constexpr Annotation import_modules_annotations[] = {
    {"static_records", "dict[str, m.FactoryRecord]"},
    {"paths", "list[Path]"},
    {"reload", "bool"},
    {"return", "tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"},
};
constexpr Annotation handle_import_errors_annotations[] = {
    {"static_records", "dict[str, m.FactoryRecord]"},
    {"errors", "dict[Path, tuple[str, Exception]]"},
    {"return", "tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"},
};
constexpr Annotation find_cells_annotations[] = {
    {"static_records", "dict[str, m.FactoryRecord]"},
    {"modules", "dict[Path, ModuleType]"},
    {"return", "dict[str, Callable]"},
};
constexpr Annotation database_updates_annotations[] = {
    {"static_records", "dict[str, m.FactoryRecord]"},
    {"present_records", "dict[str, m.FactoryRecord]"},
    {"paths", "list[Path]"},
    {"return", "tuple[list[m.FactoryRecord], list[str]]"},
};
constexpr Annotation clean_containers_annotations[] = {{"pdk", "lm.Pdk"}, {"return", "None"}};
constexpr Annotation filter_records_annotations[] = {
    {"static_records", "dict[str, m.FactoryRecord]"},
    {"base_pdk", "lm.Pdk | FrozenPdk"},
    {"return", "dict[str, m.FactoryRecord]"},
};
constexpr Annotation error_cell_call_annotations[] = {
    {"args", "Any"},
    {"kwargs", "Any"},
    {"return", "lm.Component"},
};

constexpr const char* get_pdk_doc =
    "get_pdk() -> lm.Pdk\n"
    "\n"
    "Import a PDK by name.\n"
    "\n"
    "Returns:\n"
    "    lm.Pdk: The imported PDK object.\n"
    "\n"
    "Raises:\n"
    "    ImportError: If the specified PDK cannot be found.";

constexpr const char* get_base_pdk_doc =
    "get_base_pdk() -> lm.Pdk | FrozenPdk\n"
    "\n"
    "Get the base PDK, which is the generic PDK.\n"
    "\n"
    "Returns:\n"
    "    lm.Pdk: The base PDK object.";

constexpr const char* register_cells_doc =
    "register_cells(*, paths: Iterable[Path] = (), bool reload: bool = True) -> tuple[list[str], "
    "list[str]]\n"
    "\n"
    "Register PDK cells.\n"
    "\n"
    "Args:\n"
    "    paths: Paths to Python modules containing PDK cells.\n"
    "        If empty, it will import all modules.\n"
    "    reload: Whether to reload the modules we're importing from.\n"
    "\n"
    "Returns:\n"
    "    tuple[list[str], list[str]]:\n"
    "        - List of names of newly registered cells.\n"
    "        - List of names of deleted cells.";

constexpr const char* activate_doc =
    "activate_pdk_by_name(str name: str) -> lm.Pdk\n"
    "\n"
    "Activate a PDK by name (deprecated).\n"
    "\n"
    "Args:\n"
    "    name: Name of the PDK to activate. (deprecated, will be ignored)\n"
    "\n"
    "Returns:\n"
    "    lm.Pdk: The activated PDK object.";

constexpr const char* filter_records_doc =
    "_filter_records_for_non_pdk_project(dict static_records: dict[str, m.FactoryRecord], base_pdk: "
    "lm.Pdk | FrozenPdk) -> dict[str, m.FactoryRecord]\n"
    "\n"
    "Filter records for non-PDK projects.\n"
    "\n"
    "When working in a project that is not a PDK, we only want to keep cells that:\n"
    "1. Have a source which is part of the current project (project_dir / project_name)\n"
    "2. OR are cells registered in the base_pdk.cells\n"
    "\n"
    "Args:\n"
    "    static_records: The static records from the callgraph.\n"
    "    base_pdk: The base PDK object.\n"
    "\n"
    "Returns:\n"
    "    Filtered records containing only project cells and base PDK cells.";

const FunctionRow rows[] = {
    {{"get_pdk", get_pdk}, "get_pdk", returns_pdk, get_pdk_doc},
    {{"get_base_pdk", get_base_pdk}, "get_base_pdk", get_base_pdk_annotations, get_base_pdk_doc, true},
    {{"register_cells", register_cells_params, register_cells},
     "register_cells",
     register_cells_annotations,
     register_cells_doc},
    {{"activate_pdk_by_name", activate_params, activate_pdk_by_name},
     "activate_pdk_by_name",
     activate_annotations,
     activate_doc},
    {{"FrozenPdk", nullptr}, "FrozenPdk", {}, nullptr, false, true},
    {{"_get_pdk", get_project_pdk}, "_get_pdk", returns_pdk, "_get_pdk() -> lm.Pdk", true},
    {{"_sort_paths", sort_paths_params, sort_paths},
     "_sort_paths",
     sort_paths_annotations,
     "_sort_paths(paths: Iterable[Path]) -> list[Path]"},
    {{"_error_cell", error_cell_params, error_cell},
     "_error_cell",
     error_cell_annotations,
     "_error_cell(str funcname: str, str modname: str, error: str | Exception) -> Callable"},
    {{"_import_modules", import_modules_params, import_modules},
     "_import_modules",
     import_modules_annotations,
     "_import_modules(dict static_records: dict[str, m.FactoryRecord], list paths: list[Path], *, "
     "bool reload: bool = True) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"},
    {{"_handle_import_errors", handle_import_errors_params, handle_import_errors},
     "_handle_import_errors",
     handle_import_errors_annotations,
     "_handle_import_errors(dict static_records: dict[str, m.FactoryRecord], dict errors: "
     "dict[Path, tuple[str, Exception]]) -> tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"},
    {{"_find_cells", find_cells_params, find_cells},
     "_find_cells",
     find_cells_annotations,
     "_find_cells(dict static_records: dict[str, m.FactoryRecord], dict modules: dict[Path, "
     "ModuleType]) -> dict[str, Callable]"},
    {{"_get_database_updates", database_updates_params, get_database_updates},
     "_get_database_updates",
     database_updates_annotations,
     "_get_database_updates(dict static_records: dict[str, m.FactoryRecord], dict present_records: "
     "dict[str, m.FactoryRecord], list paths: list[Path]) -> tuple[list[m.FactoryRecord], list[str]]"},
    {{"_clean_containers_also_in_cells", clean_containers_params, clean_containers_also_in_cells},
     "_clean_containers_also_in_cells",
     clean_containers_annotations,
     "_clean_containers_also_in_cells(pdk: lm.Pdk) -> None"},
    {{"_filter_records_for_non_pdk_project", filter_records_params, filter_records_for_non_pdk_project},
     "_filter_records_for_non_pdk_project",
     filter_records_annotations,
     filter_records_doc},
};

const FunctionRow methods[] = {
    {{"__setattr__", setattr_params, frozen_pdk_refuse_change},
     "FrozenPdk.__setattr__",
     setattr_annotations,
     "FrozenPdk.__setattr__(self, str name: str, value: Any) -> None"},
    {{"__delattr__", delattr_params, frozen_pdk_refuse_change},
     "FrozenPdk.__delattr__",
     delattr_annotations,
     "FrozenPdk.__delattr__(self, str name: str) -> None"},
};

}  // namespace

const std::span<const LazyBinding> lazy_bindings = lazy;
const std::span<const FunctionRow> module_functions = rows;
const std::span<const FunctionRow> frozen_pdk_methods = methods;
const char* const frozen_pdk_doc = "A frozen PDK that prevents modification of its attributes.";
const FunctionRow error_cell_row = {{"error_cell", error_cell_call_params, raise_stored_error},
                                    "error_cell",
                                    error_cell_call_annotations,
                                    nullptr};

py::Ref annotations_dict(std::span<const Annotation> annotations) {
    py::Ref dict = py::new_dict();
    for (const Annotation& a : annotations)
        py::check_status(PyDict_SetItemString(dict.get(), a.name, py::new_str(a.text).get()));
    return dict;
}

}  // namespace quorin::pdk
