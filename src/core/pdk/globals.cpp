#include "core/pdk/globals.hpp"

#include "contracts/layout.hpp"
#include "contracts/lazy.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"
#include "core/pdk/surface.hpp"
#include "pyapi/ops.hpp"

#include <cstring>
#include <initializer_list>
#include <string>

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

// The statements' `import`: `__import__` of the module's builtins, called
// with the module's namespace as its globals and locals, as the interpreter
// runs an import at a module's top level.
Ref import_name(PyObject* globals, const char* name, PyObject* fromlist) {
    Ref builtins = py::dict_get(globals, names::dunder_builtins);
    if (builtins && PyModule_Check(builtins.get()))
        builtins = Ref::borrow(PyModule_GetDict(builtins.get()));
    if (!builtins)
        builtins = py::check(PyEval_GetFrameBuiltins());
    const Ref import_ = py::getitem_optional(builtins.get(), names::dunder_import);
    if (!import_)
        py::raise(PyExc_ImportError, "__import__ not found");
    const Ref module_name = py::new_str(name);
    const Ref level = py::check(PyLong_FromLong(0));
    return py::call(import_.get(), module_name, globals, globals, fromlist, level);
}

// `from <module> import <attr>` after the import: the attribute, else the
// submodule of that name already imported.
Ref import_from(PyObject* module, const char* attr) {
    const Ref name = py::new_str(attr);
    if (Ref value = py::getattr_optional(module, name.get()))
        return value;
    const Ref package = py::getattr_optional(module, names::dunder_name);
    if (package && PyUnicode_Check(package.get())) {
        const Ref full_name = py::format("%U.%U", package, name);
        if (Ref submodule = py::dict_get(PyImport_GetModuleDict(), full_name.get()))
            return submodule;
    }
    py::raise(PyExc_ImportError, "cannot import name %R from %R (unknown location)", name.get(),
              package ? package.get() : Py_None);
}

// `import <name>`: binds the top-level package under its own name.
void import_statement(PyObject* globals, const char* name) {
    set_global(globals, name, import_name(globals, name, Py_None).get());
}

// `import <a.b.c> as <alias>`: the top-level package, then each submodule.
void import_as(PyObject* globals, const char* dotted, const char* alias) {
    Ref module = import_name(globals, dotted, Py_None);
    for (const char* part = std::strchr(dotted, '.'); part != nullptr; part = std::strchr(part + 1, '.')) {
        const char* end = std::strchr(part + 1, '.');
        const std::string attr(part + 1,
                               end != nullptr ? std::size_t(end - part - 1) : std::strlen(part + 1));
        module = import_from(module.get(), attr.c_str());
    }
    set_global(globals, alias, module.get());
}

// `from <module> import <attrs...>`, each bound under its own name (or
// `from <module> import <attr> as <alias>` with a single pair).
void from_import(PyObject* globals, const char* module, std::initializer_list<const char*> attrs,
                 const char* alias = nullptr) {
    const Ref fromlist = py::check(PyTuple_New(Py_ssize_t(attrs.size())));
    Py_ssize_t i = 0;
    for (const char* attr : attrs)
        PyTuple_SET_ITEM(fromlist.get(), i++, py::new_str(attr).release());
    const Ref mod = import_name(globals, module, fromlist.get());
    for (const char* attr : attrs)
        set_global(globals, alias != nullptr ? alias : attr, import_from(mod.get(), attr).get());
}

// The standard imports, in order.
void bind_standard_names(PyObject* globals) {
    import_statement(globals, "importlib");
    import_statement(globals, "sys");
    import_statement(globals, "warnings");
    from_import(globals, "collections", {"defaultdict"});
    from_import(globals, "collections.abc", {"Callable", "Iterable"});
    from_import(globals, "copy", {"copy", "deepcopy"});
    from_import(globals, "functools", {"cache"});
    from_import(globals, "pathlib", {"Path"});
    from_import(globals, "types", {"ModuleType"});
    from_import(globals, "typing", {"TYPE_CHECKING", "Any", "cast"});
}

// What type checkers see: ordinary imports of every outside component.
void bind_eager_components(PyObject* globals) {
    import_as(globals, "lumset", "lm");
    from_import(globals, "frozendict", {"frozendict"});
    import_as(globals, "quorin.core.callgraph", "cg");
    import_as(globals, "quorin.core.database", "db");
    import_as(globals, "quorin.models", "m");
    from_import(globals, "quorin", {"settings"});
    from_import(globals, "quorin.core", {"imports"});
    from_import(globals, "quorin.core.models", {"register_models"});
    from_import(globals, "quorin.logger", {"get_logger"}, "log");
}

// At run time the components are bound lazily, so importing the module loads
// none of them (the layout library aside, which the class statement reads).
void bind_lazy_components(PyObject* globals) {
    from_import(globals, "quorin.core.lazy", {"lazy_import"});
    const Ref lazy_import_name = py::new_str("lazy_import");
    for (const LazyBinding& b : lazy_bindings) {
        // Each binding reads the global, as each statement of a module's top level does.
        const Ref lazy_import = global(globals, lazy_import_name.get());
        const Ref module = py::new_str(b.module);
        const Ref proxy = contracts::lazy::lazy_import(lazy_import.get(), module.get(), b.attr);
        set_global(globals, b.global, proxy.get());
    }
}

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
                             .annotations_template = nullptr,
                             .globals = globals,
                             .closure = nullptr});
}

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
