#include "core/pdk/globals.hpp"

#include "contracts/layout.hpp"
#include "contracts/lazy.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"
#include "core/pdk/surface.hpp"
#include "pyapi/ops.hpp"

namespace quorin::pdk {

namespace {

using py::Ref;

// A global bound earlier in the start-up, as the top level of a module reads it.
Ref global(PyObject* globals, PyObject* name) {
    Ref value = py::dict_get(globals, name);
    if (!value)
        py::raise(PyExc_NameError, "name '%U' is not defined", name);
    return value;
}

void set_global(PyObject* globals, const char* name, PyObject* value) {
    py::check_status(PyDict_SetItemString(globals, name, value));
}

// `from module import attr`, which imports a submodule `attr` when needed.
Ref from_import(const char* module, const char* attr) {
    const Ref name = py::new_str(module);
    const Ref fromlist = py::check(Py_BuildValue("(s)", attr));
    const Ref mod =
        py::check(PyImport_ImportModuleLevelObject(name.get(), nullptr, nullptr, fromlist.get(), 0));
    return py::check(PyObject_GetAttrString(mod.get(), attr));
}

// The standard imports, in order.
void bind_standard_names(PyObject* globals) {
    set_global(globals, "importlib", py::import("importlib").get());
    set_global(globals, "sys", py::import("sys").get());
    set_global(globals, "warnings", py::import("warnings").get());
    set_global(globals, "defaultdict", from_import("collections", "defaultdict").get());
    set_global(globals, "Callable", from_import("collections.abc", "Callable").get());
    set_global(globals, "Iterable", from_import("collections.abc", "Iterable").get());
    set_global(globals, "copy", from_import("copy", "copy").get());
    set_global(globals, "deepcopy", from_import("copy", "deepcopy").get());
    set_global(globals, "cache", from_import("functools", "cache").get());
    set_global(globals, "Path", from_import("pathlib", "Path").get());
    set_global(globals, "ModuleType", from_import("types", "ModuleType").get());
    set_global(globals, "TYPE_CHECKING", from_import("typing", "TYPE_CHECKING").get());
    set_global(globals, "Any", from_import("typing", "Any").get());
    set_global(globals, "cast", from_import("typing", "cast").get());
}

// What type checkers see: ordinary imports of every outside component.
void bind_eager_components(PyObject* globals) {
    set_global(globals, "lm", py::import("lumset").get());
    set_global(globals, "frozendict", from_import("frozendict", "frozendict").get());
    set_global(globals, "cg", py::import("quorin.core.callgraph").get());
    set_global(globals, "db", py::import("quorin.core.database").get());
    set_global(globals, "m", py::import("quorin.models").get());
    set_global(globals, "settings", from_import("quorin", "settings").get());
    set_global(globals, "imports", from_import("quorin.core", "imports").get());
    set_global(globals, "register_models", from_import("quorin.core.models", "register_models").get());
    set_global(globals, "log", from_import("quorin.logger", "get_logger").get());
}

// At run time the components are bound lazily, so importing the module loads
// none of them (the layout library aside, which the class statement reads).
void bind_lazy_components(PyObject* globals) {
    set_global(globals, "lazy_import", from_import("quorin.core.lazy", "lazy_import").get());
    const Ref lazy_import_name = py::new_str("lazy_import");
    for (const LazyBinding& b : lazy_bindings) {
        // Each binding reads the global, as each statement of a module's top level does.
        const Ref lazy_import = global(globals, lazy_import_name.get());
        const Ref module = py::new_str(b.module);
        const Ref proxy = contracts::lazy::lazy_import(lazy_import.get(), module.get(), b.attr);
        set_global(globals, b.global, proxy.get());
    }
}

}  // namespace

Ref new_function(PyObject* globals, const FunctionRow& row) {
    const Ref name = py::new_str(row.def.name);
    const Ref qualname = py::new_str(row.qualname);
    const Ref doc = row.doc != nullptr ? py::new_str(row.doc) : Ref::borrow(Py_None);
    const Ref annotations = annotations_dict(row.annotations);
    return py::new_function({.def = &row.def,
                             .name = name.get(),
                             .qualname = qualname.get(),
                             .module_name = names::quorin_core_pdk,
                             .doc = doc.get(),
                             .annotations = annotations.get(),
                             .globals = globals,
                             .closure = nullptr});
}

namespace {

// `class FrozenPdk(lm.Pdk)`, through the interpreter's class-statement protocol.
Ref new_frozen_pdk_class(PyObject* globals) {
    const Ref base = contracts::layout::pdk_class(global(globals, names::lm).get());
    const Ref bases = py::check(PyTuple_Pack(1, base.get()));
    const Ref types = py::import("types");
    const Ref resolved = py::call_method(types.get(), names::resolve_bases, bases);
    const Ref prepared = py::call_method(types.get(), names::prepare_class, names::FrozenPdk, resolved);
    const Ref meta = py::check(PySequence_GetItem(prepared.get(), 0));
    const Ref prepared_namespace = py::check(PySequence_GetItem(prepared.get(), 1));
    PyObject* namespace_ = prepared_namespace.get();
    py::setitem(namespace_, names::dunder_module, names::quorin_core_pdk);
    py::setitem(namespace_, names::dunder_qualname, names::FrozenPdk);
    py::setitem(namespace_, names::dunder_doc, py::new_str(frozen_pdk_doc).get());
    for (const FunctionRow& method : frozen_pdk_methods) {
        const Ref function = new_function(globals, method);
        py::setitem(namespace_, py::new_str(method.def.name).get(), function.get());
    }
    if (resolved.get() != bases.get())
        py::setitem(namespace_, names::dunder_orig_bases, bases.get());
    return py::call(meta.get(), names::FrozenPdk, resolved, namespace_);
}

}  // namespace

void bind_globals(PyObject* module) {
    PyObject* globals = PyModule_GetDict(module);
    bind_standard_names(globals);
    const Ref type_checking = global(globals, names::TYPE_CHECKING);
    if (py::truth(type_checking.get()))
        bind_eager_components(globals);
    else
        bind_lazy_components(globals);

    py::create_function_type(module);
    for (const FunctionRow& row : module_functions) {
        Ref value = row.is_frozen_pdk_class ? new_frozen_pdk_class(globals) : new_function(globals, row);
        if (row.cached) {
            const Ref cache = global(globals, names::cache);
            value = contracts::functools::cache(cache.get(), value.get());
        }
        set_global(globals, row.is_frozen_pdk_class ? "FrozenPdk" : row.def.name, value.get());
    }
    set_global(globals, "__test__", py::new_dict().get());
}

}  // namespace quorin::pdk
