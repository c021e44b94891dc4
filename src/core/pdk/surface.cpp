#include "core/pdk/surface.hpp"

#include "core/pdk/functions.hpp"
#include "pyapi/ops.hpp"

namespace quorin::pdk {

namespace {

using py::Check;
using py::Default;
using py::FunctionDef;
using py::Kind;
using py::Param;

constexpr LazyBinding lazy[] = {
    {.global = "m", .module = "quorin.models", .attr = nullptr},
    {.global = "cg", .module = "quorin.core.callgraph", .attr = nullptr},
    {.global = "lm", .module = "lumset", .attr = nullptr},
    {.global = "log", .module = "quorin.logger", .attr = "get_logger"},
    {.global = "settings", .module = "quorin.settings", .attr = nullptr},
    {.global = "frozendict", .module = "frozendict", .attr = "frozendict"},
    {.global = "imports", .module = "quorin.core.imports", .attr = nullptr},
    {.global = "db", .module = "quorin.core.database", .attr = nullptr},
    {.global = "register_models", .module = "quorin.core.models", .attr = "register_models"},
};

constexpr Param register_cells_params[] = {
    {.name = "paths",
     .kind = Kind::keyword_only,
     .check = Check::none,
     .default_value = Default::empty_tuple},
    {.name = "reload",
     .kind = Kind::keyword_only,
     .check = Check::truth,
     .default_value = Default::true_value},
};
constexpr Param activate_params[] = {{.name = "name", .kind = Kind::positional, .check = Check::exact_str}};
constexpr Param setattr_params[] = {{.name = "self"},
                                    {.name = "name", .kind = Kind::positional, .check = Check::exact_str},
                                    {.name = "value"}};
constexpr Param delattr_params[] = {{.name = "self"},
                                    {.name = "name", .kind = Kind::positional, .check = Check::exact_str}};
constexpr Param sort_paths_params[] = {{.name = "paths"}};
constexpr Param error_cell_params[] = {
    {.name = "funcname", .kind = Kind::positional, .check = Check::exact_str},
    {.name = "modname", .kind = Kind::positional, .check = Check::exact_str},
    {.name = "error"},
};
constexpr Param import_modules_params[] = {
    {.name = "static_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "paths", .kind = Kind::positional, .check = Check::exact_list},
    {.name = "reload",
     .kind = Kind::keyword_only,
     .check = Check::truth,
     .default_value = Default::true_value},
};
constexpr Param handle_import_errors_params[] = {
    {.name = "static_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "errors", .kind = Kind::positional, .check = Check::exact_dict},
};
constexpr Param find_cells_params[] = {
    {.name = "static_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "modules", .kind = Kind::positional, .check = Check::exact_dict},
};
constexpr Param database_updates_params[] = {
    {.name = "static_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "present_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "paths", .kind = Kind::positional, .check = Check::exact_list},
};
constexpr Param clean_containers_params[] = {{.name = "pdk"}};
constexpr Param filter_records_params[] = {
    {.name = "static_records", .kind = Kind::positional, .check = Check::exact_dict},
    {.name = "base_pdk"},
};
constexpr Param error_cell_call_params[] = {{.name = "args", .kind = Kind::var_positional},
                                            {.name = "kwargs", .kind = Kind::var_keyword}};

constexpr Annotation returns_pdk[] = {{.name = "return", .text = "lm.Pdk"}};
constexpr Annotation get_base_pdk_annotations[] = {{.name = "return", .text = "lm.Pdk | FrozenPdk"}};
constexpr Annotation register_cells_annotations[] = {
    {.name = "paths", .text = "Iterable[Path]"},
    {.name = "reload", .text = "bool"},
    {.name = "return", .text = "tuple[list[str], list[str]]"},
};
constexpr Annotation activate_annotations[] = {{.name = "name", .text = "str"},
                                               {.name = "return", .text = "lm.Pdk"}};
constexpr Annotation setattr_annotations[] = {
    {.name = "name", .text = "str"}, {.name = "value", .text = "Any"}, {.name = "return", .text = "None"}};
constexpr Annotation delattr_annotations[] = {{.name = "name", .text = "str"},
                                              {.name = "return", .text = "None"}};
constexpr Annotation sort_paths_annotations[] = {{.name = "paths", .text = "Iterable[Path]"},
                                                 {.name = "return", .text = "list[Path]"}};
constexpr Annotation error_cell_annotations[] = {
    {.name = "funcname", .text = "str"},
    {.name = "modname", .text = "str"},
    {.name = "error", .text = "str | Exception"},
    {.name = "return", .text = "Callable"},
};
constexpr Annotation import_modules_annotations[] = {
    {.name = "static_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "paths", .text = "list[Path]"},
    {.name = "reload", .text = "bool"},
    {.name = "return", .text = "tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"},
};
constexpr Annotation handle_import_errors_annotations[] = {
    {.name = "static_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "errors", .text = "dict[Path, tuple[str, Exception]]"},
    {.name = "return", .text = "tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"},
};
constexpr Annotation find_cells_annotations[] = {
    {.name = "static_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "modules", .text = "dict[Path, ModuleType]"},
    {.name = "return", .text = "dict[str, Callable]"},
};
constexpr Annotation database_updates_annotations[] = {
    {.name = "static_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "present_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "paths", .text = "list[Path]"},
    {.name = "return", .text = "tuple[list[m.FactoryRecord], list[str]]"},
};
constexpr Annotation clean_containers_annotations[] = {{.name = "pdk", .text = "lm.Pdk"},
                                                       {.name = "return", .text = "None"}};
constexpr Annotation filter_records_annotations[] = {
    {.name = "static_records", .text = "dict[str, m.FactoryRecord]"},
    {.name = "base_pdk", .text = "lm.Pdk | FrozenPdk"},
    {.name = "return", .text = "dict[str, m.FactoryRecord]"},
};
constexpr Annotation error_cell_call_annotations[] = {
    {.name = "args", .text = "Any"},
    {.name = "kwargs", .text = "Any"},
    {.name = "return", .text = "lm.Component"},
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
    {.def = FunctionDef{"get_pdk", get_pdk},
     .qualname = "get_pdk",
     .annotations = returns_pdk,
     .doc = get_pdk_doc},
    {.def = FunctionDef{"get_base_pdk", get_base_pdk},
     .qualname = "get_base_pdk",
     .annotations = get_base_pdk_annotations,
     .doc = get_base_pdk_doc,
     .cached = true},
    {.def = FunctionDef{"register_cells", register_cells_params, register_cells},
     .qualname = "register_cells",
     .annotations = register_cells_annotations,
     .doc = register_cells_doc},
    {.def = FunctionDef{"activate_pdk_by_name", activate_params, activate_pdk_by_name},
     .qualname = "activate_pdk_by_name",
     .annotations = activate_annotations,
     .doc = activate_doc},
    {.def = FunctionDef{"FrozenPdk", nullptr},
     .qualname = "FrozenPdk",
     .annotations = {},
     .doc = nullptr,
     .is_frozen_pdk_class = true},
    {.def = FunctionDef{"_get_pdk", get_project_pdk},
     .qualname = "_get_pdk",
     .annotations = returns_pdk,
     .doc = "_get_pdk() -> lm.Pdk",
     .cached = true},
    {.def = FunctionDef{"_sort_paths", sort_paths_params, sort_paths},
     .qualname = "_sort_paths",
     .annotations = sort_paths_annotations,
     .doc = "_sort_paths(paths: Iterable[Path]) -> list[Path]"},
    {.def = FunctionDef{"_error_cell", error_cell_params, error_cell},
     .qualname = "_error_cell",
     .annotations = error_cell_annotations,
     .doc = "_error_cell(str funcname: str, str modname: str, error: str | Exception) -> Callable"},
    {.def = FunctionDef{"_import_modules", import_modules_params, import_modules},
     .qualname = "_import_modules",
     .annotations = import_modules_annotations,
     .doc = "_import_modules(dict static_records: dict[str, m.FactoryRecord], list paths: list[Path], *, "
            "bool reload: bool = True) -> tuple[dict[Path, ModuleType], dict[Path, tuple[str, Exception]]]"},
    {.def = FunctionDef{"_handle_import_errors", handle_import_errors_params, handle_import_errors},
     .qualname = "_handle_import_errors",
     .annotations = handle_import_errors_annotations,
     .doc = "_handle_import_errors(dict static_records: dict[str, m.FactoryRecord], dict errors: "
            "dict[Path, tuple[str, Exception]]) -> tuple[dict[str, Callable], dict[str, m.FactoryRecord]]"},
    {.def = FunctionDef{"_find_cells", find_cells_params, find_cells},
     .qualname = "_find_cells",
     .annotations = find_cells_annotations,
     .doc = "_find_cells(dict static_records: dict[str, m.FactoryRecord], dict modules: dict[Path, "
            "ModuleType]) -> dict[str, Callable]"},
    {.def = FunctionDef{"_get_database_updates", database_updates_params, get_database_updates},
     .qualname = "_get_database_updates",
     .annotations = database_updates_annotations,
     .doc = "_get_database_updates(dict static_records: dict[str, m.FactoryRecord], dict present_records: "
            "dict[str, m.FactoryRecord], list paths: list[Path]) -> tuple[list[m.FactoryRecord], list[str]]"},
    {.def = FunctionDef{"_clean_containers_also_in_cells", clean_containers_params,
                        clean_containers_also_in_cells},
     .qualname = "_clean_containers_also_in_cells",
     .annotations = clean_containers_annotations,
     .doc = "_clean_containers_also_in_cells(pdk: lm.Pdk) -> None"},
    {.def = FunctionDef{"_filter_records_for_non_pdk_project", filter_records_params,
                        filter_records_for_non_pdk_project},
     .qualname = "_filter_records_for_non_pdk_project",
     .annotations = filter_records_annotations,
     .doc = filter_records_doc},
};

const FunctionRow methods[] = {
    {.def = FunctionDef{"__setattr__", setattr_params, frozen_pdk_refuse_change},
     .qualname = "FrozenPdk.__setattr__",
     .annotations = setattr_annotations,
     .doc = "FrozenPdk.__setattr__(self, str name: str, value: Any) -> None"},
    {.def = FunctionDef{"__delattr__", delattr_params, frozen_pdk_refuse_change},
     .qualname = "FrozenPdk.__delattr__",
     .annotations = delattr_annotations,
     .doc = "FrozenPdk.__delattr__(self, str name: str) -> None"},
};

}  // namespace

const std::span<const LazyBinding> lazy_bindings = lazy;
const std::span<const FunctionRow> module_functions = rows;
const std::span<const FunctionRow> frozen_pdk_methods = methods;
const char* const frozen_pdk_doc = "A frozen PDK that prevents modification of its attributes.";
const FunctionRow error_cell_row = {
    .def = FunctionDef{"error_cell", error_cell_call_params, raise_stored_error},
    .qualname = "error_cell",
    .annotations = error_cell_call_annotations,
    .doc = nullptr};

constexpr Param sort_key_params[] = {{.name = "p"}};
constexpr Annotation sort_key_annotations[] = {{.name = "p", .text = "Path"},
                                               {.name = "return", .text = "tuple[int, int, str]"}};
const FunctionRow sort_key_row = {.def = FunctionDef{"_sort_key", sort_key_params, sort_key},
                                  .qualname = "_sort_paths.<locals>._sort_key",
                                  .annotations = sort_key_annotations,
                                  .doc = nullptr};

py::Ref annotations_dict(std::span<const Annotation> annotations) {
    py::Ref dict = py::new_dict();
    for (const Annotation& a : annotations)
        py::check_status(PyDict_SetItemString(dict.get(), a.name, py::new_str(a.text).get()));
    return dict;
}

}  // namespace quorin::pdk
