#include "pyapi/function.hpp"

#include "pyapi/binder.hpp"
#include "pyapi/call_depth.hpp"
#include "pyapi/global_cache.hpp"
#include "pyapi/identifiers.hpp"
#include "pyapi/monitoring.hpp"
#include "pyapi/ops.hpp"
#include "pyapi/traceback.hpp"

#include <cstddef>
#include <utility>

namespace quorin::py {

namespace {

// The object layout. Its references are managed by the type's slots below
// (traverse, clear, dealloc), as the garbage collector requires.
struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    const FunctionDef* def;
    PyObject* globals;
    PyObject* builtins;  // where a name missing from the globals is looked up
    PyObject* closure;
    PyObject* name;
    PyObject* qualname;
    PyObject* module_name;
    PyObject* doc;
    PyObject* annotations;
    // Copied into `annotations` when they are first read, if they were never
    // set: functions made in numbers (error cells, key functions) make no dict
    // that nobody reads. A constant, not owned.
    PyObject* annotations_template;
    PyObject* kwdefaults;
    PyObject* defaults;
    PyObject* dict;
    PyObject* weakrefs;
    MonitorState monitor;
    GlobalCache* globals_found;  // made at the first global lookup
};

FunctionObject* as_function(PyObject* o) {
    return reinterpret_cast<FunctionObject*>(o);
}

// The body's part of a call: what the interpreter does for a Python function
// between binding its arguments and returning.
PyObject* call_body(PyObject* self, PyObject* const* args, size_t nargsf, PyObject* kwnames) noexcept {
    FunctionObject* f = as_function(self);
    try {
        // Only a finaliser that outlives a collected cycle can hold a function
        // whose references the collector already dropped.
        if (f->globals == nullptr) [[unlikely]]
            raise(PyExc_RuntimeError, "%S() was cleared by the garbage collector", f->name);
        BoundArgs bound;
        // Argument errors belong to the caller, as a Python function's do:
        // only what leaves the body gets the function's traceback entry and
        // its monitoring events.
        // Held while binding: a key's `__eq__` could replace them meanwhile.
        const Ref defaults = Ref::borrow(f->defaults);
        const Ref kwdefaults = Ref::borrow(f->kwdefaults);
        bind(*f->def, args, nargsf, kwnames, {.positional = defaults.get(), .keyword_only = kwdefaults.get()},
             bound);
        CallDepth depth;
        if (!depth.enter())
            throw_raised();
        try {
            monitor_start(f->monitor, f->qualname, f->def->defined);
            // A signal that came in meanwhile is handled as a Python function's
            // first instruction would handle it.
            handle_signals(f->def->defined);
            Ref value = f->def->impl(Context(self, bound.values.data()));
            monitor_return(f->monitor, value.get(), f->def->defined);
            return value.release();
        } catch (...) {
            const Where where = set_error_from_current_exception();
            add_traceback_entry(f->qualname, f->globals, where);
            monitor_unwind(f->monitor);
        }
    } catch (...) {
        set_error_from_current_exception();
    }
    return nullptr;
}

[[gnu::cold, gnu::noinline]] PyObject* profiled_call(PyObject* self, PyObject* const* args, size_t nargsf,
                                                     PyObject* kwnames) noexcept {
    ProfiledCall profiled;
    if (!profiled.begin(self))
        return nullptr;
    return profiled.end(self, call_body(self, args, nargsf, kwnames));
}

PyObject* function_vectorcall(PyObject* self, PyObject* const* args, size_t nargsf,
                              PyObject* kwnames) noexcept {
    // The profiler's events in a frame of their own: re-entry through a
    // callback costs every level of it in stack.
    if (ProfiledCall::wanted()) [[unlikely]]
        return profiled_call(self, args, nargsf, kwnames);
    return call_body(self, args, nargsf, kwnames);
}

int function_traverse(PyObject* self, visitproc visit, void* arg) {
    FunctionObject* f = as_function(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(f->globals);
    Py_VISIT(f->builtins);
    Py_VISIT(f->closure);
    Py_VISIT(f->name);
    Py_VISIT(f->qualname);
    Py_VISIT(f->module_name);
    Py_VISIT(f->doc);
    Py_VISIT(f->annotations);
    Py_VISIT(f->kwdefaults);
    Py_VISIT(f->defaults);
    Py_VISIT(f->dict);
    return 0;
}

int function_clear(PyObject* self) {
    FunctionObject* f = as_function(self);
    Py_CLEAR(f->globals);
    Py_CLEAR(f->builtins);
    Py_CLEAR(f->closure);
    Py_CLEAR(f->module_name);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->kwdefaults);
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->dict);
    if (f->globals_found != nullptr)
        f->globals_found->clear();
    return 0;
}

void function_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    FunctionObject* f = as_function(self);
    if (f->weakrefs != nullptr)
        PyObject_ClearWeakRefs(self);
    function_clear(self);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    f->monitor.clear();
    delete std::exchange(f->globals_found, nullptr);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* function_repr(PyObject* self) {
    return PyUnicode_FromFormat("<function %U at %p>", as_function(self)->qualname, self);
}

// Binds like a function stored in a class: read through an instance it
// becomes a bound method.
PyObject* function_descr_get(PyObject* self, PyObject* obj, PyObject*) {
    if (obj == nullptr || obj == Py_None)
        return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

// --- attributes --------------------------------------------------------------

PyObject* get_or_none(PyObject* value) {
    return Py_NewRef(value != nullptr ? value : Py_None);
}

int set_str(PyObject** slot, PyObject* value, const char* attr) {
    if (value == nullptr || !PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s must be set to a string object", attr);
        return -1;
    }
    Py_XSETREF(*slot, Py_NewRef(value));
    return 0;
}

// Setting None or deleting stores None; otherwise the value must be of `type`.
int set_optional(PyObject** slot, PyObject* value, PyTypeObject* type, const char* message) {
    if (value == nullptr)
        value = Py_None;
    if (value != Py_None && !PyObject_TypeCheck(value, type)) {
        PyErr_SetString(PyExc_TypeError, message);
        return -1;
    }
    Py_XSETREF(*slot, Py_NewRef(value));
    return 0;
}

PyObject* get_name(PyObject* self, void*) {
    return Py_NewRef(as_function(self)->name);
}
int set_name(PyObject* self, PyObject* value, void*) {
    return set_str(&as_function(self)->name, value, "__name__");
}
PyObject* get_qualname(PyObject* self, void*) {
    return Py_NewRef(as_function(self)->qualname);
}
int set_qualname(PyObject* self, PyObject* value, void*) {
    return set_str(&as_function(self)->qualname, value, "__qualname__");
}
PyObject* get_annotations(PyObject* self, void*) {
    FunctionObject* f = as_function(self);
    if (f->annotations == nullptr || f->annotations == Py_None) {
        PyObject* const from = std::exchange(f->annotations_template, nullptr);
        Py_XSETREF(f->annotations, from != nullptr ? PyDict_Copy(from) : PyDict_New());
        if (f->annotations == nullptr)
            return nullptr;
    }
    return Py_NewRef(f->annotations);
}
int set_annotations(PyObject* self, PyObject* value, void*) {
    as_function(self)->annotations_template = nullptr;
    return set_optional(&as_function(self)->annotations, value, &PyDict_Type,
                        "__annotations__ must be set to a dict object");
}
PyObject* get_kwdefaults(PyObject* self, void*) {
    return get_or_none(as_function(self)->kwdefaults);
}
int set_kwdefaults(PyObject* self, PyObject* value, void*) {
    return set_optional(&as_function(self)->kwdefaults, value, &PyDict_Type,
                        "__kwdefaults__ must be set to a dict object");
}
PyObject* get_defaults(PyObject* self, void*) {
    return get_or_none(as_function(self)->defaults);
}
int set_defaults(PyObject* self, PyObject* value, void*) {
    return set_optional(&as_function(self)->defaults, value, &PyTuple_Type,
                        "__defaults__ must be set to a tuple object");
}

// `inspect.Signature` of the parameters, the current defaults and annotations.
Ref build_signature(FunctionObject* f) {
    const Ref inspect = import(names::inspect);
    const Ref parameter = getattr(inspect.get(), names::Parameter);
    const Ref empty = getattr(parameter.get(), names::empty);
    const Ref annotations = Ref::steal(get_annotations(reinterpret_cast<PyObject*>(f), nullptr));
    if (!annotations)
        throw_raised();
    const Ref params = new_list();
    Py_ssize_t positional_count = 0, position = 0;
    for (const Param& p : f->def->params)
        positional_count += p.kind == Kind::positional;
    for (const Param& p : f->def->params) {
        static constexpr const char* kinds[] = {"POSITIONAL_OR_KEYWORD", "KEYWORD_ONLY", "VAR_POSITIONAL",
                                                "VAR_KEYWORD"};
        const Ref kind = check(PyObject_GetAttrString(parameter.get(), kinds[int(p.kind)]));
        const Ref name = new_str(p.name);
        Ref default_value = Ref::borrow(empty.get());
        if (p.kind == Kind::keyword_only && f->kwdefaults != nullptr && PyDict_Check(f->kwdefaults)) {
            if (Ref d = dict_get(f->kwdefaults, name.get()))
                default_value = std::move(d);
        }
        if (p.kind == Kind::positional && f->defaults != nullptr && PyTuple_Check(f->defaults)) {
            const Py_ssize_t first = positional_count - PyTuple_GET_SIZE(f->defaults);
            if (position >= first)
                default_value = Ref::borrow(PyTuple_GET_ITEM(f->defaults, position - first));
        }
        position += p.kind == Kind::positional;
        Ref annotation = Ref::borrow(empty.get());
        if (PyDict_Check(annotations.get())) {
            if (Ref a = dict_get(annotations.get(), name.get()))
                annotation = std::move(a);
        }
        list_append(params.get(), call_kw(parameter.get(), names::kw_default_annotation, name, kind,
                                          default_value, annotation)
                                      .get());
    }
    const Ref signature = getattr(inspect.get(), names::Signature);
    Ref return_annotation = getattr(signature.get(), names::empty);
    if (PyDict_Check(annotations.get())) {
        if (Ref a = dict_get(annotations.get(), names::return_))
            return_annotation = std::move(a);
    }
    return call_kw(signature.get(), names::kw_return_annotation, params, return_annotation);
}

PyObject* get_signature(PyObject* self, void*) {
    return guarded([&] { return build_signature(as_function(self)); });
}

PyObject* function_reduce(PyObject* self, PyObject*) {
    // Pickled by reference, like any module-level function.
    return Py_NewRef(as_function(self)->qualname);
}

PyObject* get_self(PyObject* self, void*) {
    return Py_NewRef(self);
}

PyGetSetDef call_getset = {
    .name = "__call__", .get = get_self, .set = nullptr, .doc = nullptr, .closure = nullptr};

PyGetSetDef function_getset[] = {
    {.name = "__name__", .get = get_name, .set = set_name, .doc = nullptr, .closure = nullptr},
    {.name = "__qualname__", .get = get_qualname, .set = set_qualname, .doc = nullptr, .closure = nullptr},
    {.name = "__annotations__",
     .get = get_annotations,
     .set = set_annotations,
     .doc = nullptr,
     .closure = nullptr},
    {.name = "__kwdefaults__",
     .get = get_kwdefaults,
     .set = set_kwdefaults,
     .doc = nullptr,
     .closure = nullptr},
    {.name = "__defaults__", .get = get_defaults, .set = set_defaults, .doc = nullptr, .closure = nullptr},
    {.name = "__signature__", .get = get_signature, .set = nullptr, .doc = nullptr, .closure = nullptr},
    {.name = "__dict__",
     .get = PyObject_GenericGetDict,
     .set = PyObject_GenericSetDict,
     .doc = nullptr,
     .closure = nullptr},
    {.name = nullptr, .get = nullptr, .set = nullptr, .doc = nullptr, .closure = nullptr},
};

// The plain attributes, declared as the interpreter's own function type
// declares them: None when unset or deleted.
PyMemberDef function_members[] = {
    {.name = "__doc__",
     .type = _Py_T_OBJECT,
     .offset = offsetof(FunctionObject, doc),
     .flags = 0,
     .doc = nullptr},
    {.name = "__module__",
     .type = _Py_T_OBJECT,
     .offset = offsetof(FunctionObject, module_name),
     .flags = 0,
     .doc = nullptr},
    {.name = "__globals__",
     .type = _Py_T_OBJECT,
     .offset = offsetof(FunctionObject, globals),
     .flags = Py_READONLY,
     .doc = nullptr},
    {.name = "__builtins__",
     .type = _Py_T_OBJECT,
     .offset = offsetof(FunctionObject, builtins),
     .flags = Py_READONLY,
     .doc = nullptr},
    {.name = "__vectorcalloffset__",
     .type = Py_T_PYSSIZET,
     .offset = offsetof(FunctionObject, vectorcall),
     .flags = Py_READONLY,
     .doc = nullptr},
    {.name = "__dictoffset__",
     .type = Py_T_PYSSIZET,
     .offset = offsetof(FunctionObject, dict),
     .flags = Py_READONLY,
     .doc = nullptr},
    {.name = "__weaklistoffset__",
     .type = Py_T_PYSSIZET,
     .offset = offsetof(FunctionObject, weakrefs),
     .flags = Py_READONLY,
     .doc = nullptr},
    {.name = nullptr, .type = 0, .offset = 0, .flags = 0, .doc = nullptr},
};

PyMethodDef function_methods[] = {
    {.ml_name = "__reduce__", .ml_meth = function_reduce, .ml_flags = METH_NOARGS, .ml_doc = nullptr},
    {.ml_name = nullptr, .ml_meth = nullptr, .ml_flags = 0, .ml_doc = nullptr},
};

PyType_Slot function_slots[] = {
    {.slot = Py_tp_dealloc, .pfunc = reinterpret_cast<void*>(function_dealloc)},
    {.slot = Py_tp_traverse, .pfunc = reinterpret_cast<void*>(function_traverse)},
    {.slot = Py_tp_clear, .pfunc = reinterpret_cast<void*>(function_clear)},
    {.slot = Py_tp_repr, .pfunc = reinterpret_cast<void*>(function_repr)},
    {.slot = Py_tp_call, .pfunc = reinterpret_cast<void*>(PyVectorcall_Call)},
    {.slot = Py_tp_descr_get, .pfunc = reinterpret_cast<void*>(function_descr_get)},
    {.slot = Py_tp_getset, .pfunc = function_getset},
    {.slot = Py_tp_members, .pfunc = function_members},
    {.slot = Py_tp_methods, .pfunc = function_methods},
    {.slot = 0, .pfunc = nullptr},
};

PyType_Spec function_spec = {
    .name = "quorin.core.pdk.native_function",
    .basicsize = sizeof(FunctionObject),
    .itemsize = 0,
    .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
             Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    .slots = function_slots,
};

// __kwdefaults__ as the parameters declare them; None when there are none.
Ref make_kwdefaults(const FunctionDef& def) {
    Ref result;
    for (const Param& p : def.params) {
        if (p.kind != Kind::keyword_only || p.default_value == Default::required)
            continue;
        if (!result)
            result = new_dict();
        const Ref value =
            p.default_value == Default::true_value ? Ref::borrow(Py_True) : check(PyTuple_New(0));
        check_status(PyDict_SetItemString(result.get(), p.name, value.get()));
    }
    return result ? result : Ref::borrow(Py_None);
}

}  // namespace

PyObject* Context::closure() const noexcept {
    return as_function(function_)->closure;
}
PyObject* Context::globals() const noexcept {
    return as_function(function_)->globals;
}

Ref Context::global(const Name& name, Where where) const {
    FunctionObject* f = as_function(function_);
    if (f->globals_found == nullptr) [[unlikely]]
        f->globals_found = new GlobalCache();
    // The builtins are those the function was made with, as a Python function
    // keeps those its module had when it was defined: never the caller's.
    return f->globals_found->lookup(f->globals, f->builtins, name, where);
}

namespace {

// The type of every function the module makes. One is enough: the module
// refuses a second interpreter and is initialised once, so no two modules
// could need types of their own; a start-up that failed and is tried again
// replaces it. The type holds the module object and every function holds the
// type: once the interpreter ends, only its functions keep it, and with it the
// module and what the module keeps for them.
StaticRef function_type{StaticRef::Held::until_interpreter_ends};
}  // namespace

void create_function_type(PyObject* module) {
    Ref type = check(PyType_FromModuleAndSpec(module, &function_spec, nullptr));
    // `f.__call__` is the function itself rather than the slot's method
    // wrapper, whose signature is `(*args, **kwargs)`: tools that read the
    // signature of `__call__` of a callable that is not a Python function
    // (unittest.mock's autospec) then see the real parameters. Set up before
    // any instance exists; the slot itself is untouched.
    const Ref descriptor =
        check(PyDescr_NewGetSet(reinterpret_cast<PyTypeObject*>(type.get()), &call_getset));
    const Ref dict = check(PyType_GetDict(reinterpret_cast<PyTypeObject*>(type.get())));
    check_status(PyDict_SetItemString(dict.get(), call_getset.name, descriptor.get()));
    PyType_Modified(reinterpret_cast<PyTypeObject*>(type.get()));
    function_type.reset(std::move(type));
}

namespace {
// The builtins of code defined with `globals`, found as the interpreter finds
// them for a new function: the namespace's `__builtins__` (a module stands for
// its dict), else the current ones.
Ref builtins_of(PyObject* globals) {
    Ref builtins = dict_get(globals, names::dunder_builtins);
    if (!builtins)
        return check(PyEval_GetFrameBuiltins());
    if (PyModule_Check(builtins.get()))
        return Ref::borrow(PyModule_GetDict(builtins.get()));
    return builtins;
}
}  // namespace

Ref new_function(const FunctionInit& init) {
    Ref builtins = builtins_of(init.globals);
    Ref self = check(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(function_type.get()), 0));
    FunctionObject* f = as_function(self.get());
    f->vectorcall = function_vectorcall;
    f->def = init.def;
    f->globals = Py_NewRef(init.globals);
    f->builtins = builtins.release();
    f->closure = Py_XNewRef(init.closure);
    f->name = Py_NewRef(init.name);
    f->qualname = Py_NewRef(init.qualname);
    f->module_name = Py_NewRef(init.module_name);
    f->doc = Py_NewRef(init.doc);
    f->annotations = Py_XNewRef(init.annotations);
    f->annotations_template = init.annotations_template;
    f->kwdefaults = make_kwdefaults(*init.def).release();
    f->defaults = Py_NewRef(Py_None);
    return self;
}

}  // namespace quorin::py
