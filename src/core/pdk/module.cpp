// Start-up: the initialisation entry point and its create and execute steps.
#include "core/pdk/globals.hpp"
#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/runtime_state.hpp"

#include <cstdint>

namespace quorin::pdk {

namespace {

using py::Ref;
using py::RuntimeState;

// The two records of start-up, kept for the interpreter that imported the
// module until that interpreter ends. A process may run one runtime after
// another, and the interpreter identifiers start at 0 again in each.
std::int64_t first_interpreter_id = -1;
py::StaticRef initialised_module{py::StaticRef::Held::until_interpreter_ends};
// Set when that interpreter has ended while its module object lived on: what
// the module keeps in static storage then belongs to a runtime that is gone.
bool interpreter_ended = false;

constexpr int compiled_major = 3;
constexpr int compiled_minor = 13;

// The interpreter is finalising and its modules have been cleared. The
// records go; the module object is then held by its functions' type alone,
// so that its release (`free_module`) comes after the last call any
// finaliser can still make.
void on_interpreter_end(PyObject*) {
    first_interpreter_id = -1;
    if (initialised_module.get() == nullptr) {
        // No start-up succeeded: no module is left to call into.
        RuntimeState::release_all();
        return;
    }
    interpreter_ended = true;
    RuntimeState::interpreter_ends();
}

// The end of the interpreter is seen through an object in the interpreter's
// own dict, released at the same stage of finalisation as the callbacks of
// `PyUnstable_AtExit` (its modules cleared, before its last garbage
// collection); on CPython 3.13.0 those callbacks are lost when an interpreter
// has more than two of them.
void watch_interpreter_end() {
    PyObject* const dict = PyInterpreterState_GetDict(PyInterpreterState_Get());
    if (dict == nullptr)
        py::raise(PyExc_RuntimeError, "the interpreter has no dict for the module's records");
    const Ref capsule =
        py::check(PyCapsule_New(&first_interpreter_id, "quorin.core.pdk.interpreter", on_interpreter_end));
    py::check_status(PyDict_SetItemString(dict, "quorin.core.pdk", capsule.get()));
}

void check_single_interpreter() {
    if (interpreter_ended) {
        RuntimeState::forget_all();
        interpreter_ended = false;
    }
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1)
        py::throw_raised();
    if (first_interpreter_id == -1) {
        watch_interpreter_end();
        first_interpreter_id = id;
    } else if (first_interpreter_id != id) {
        py::raise(PyExc_ImportError,
                  "Interpreter change detected - this module can only be loaded into one interpreter "
                  "per process.");
    }
}

// Copies `spec.<from>` into the namespace as `to`; a missing attribute is skipped.
void copy_from_spec(PyObject* spec, PyObject* ns, const char* from, const char* to, bool allow_none) {
    PyObject* value = nullptr;
    py::check_status(PyObject_GetOptionalAttrString(spec, from, &value));
    const Ref held = Ref::steal(value);
    if (held && (allow_none || !held.is(Py_None)))
        py::check_status(PyDict_SetItemString(ns, to, held.get()));
}

PyObject* create(PyObject* spec, PyModuleDef*) {
    return py::guarded([&] {
        check_single_interpreter();
        if (PyObject* const recorded = initialised_module.get())
            return Ref::borrow(recorded);
        const Ref name = py::check(PyObject_GetAttrString(spec, "name"));
        Ref module = py::check(PyModule_NewObject(name.get()));
        PyObject* ns = PyModule_GetDict(module.get());
        copy_from_spec(spec, ns, "loader", "__loader__", true);
        copy_from_spec(spec, ns, "origin", "__file__", true);
        copy_from_spec(spec, ns, "parent", "__package__", true);
        copy_from_spec(spec, ns, "submodule_search_locations", "__path__", false);
        return module;
    });
}

// Item `i` of the running interpreter's `sys.version_info`, as Python code sees
// its version (and as a test can stand in another); the library's own
// `Py_Version` where there is none.
int running_version(Py_ssize_t i) {
    PyObject* const info = PySys_GetObject("version_info");
    if (info == nullptr)
        return int((Py_Version >> (24 - 8 * i)) & 0xff);
    const Ref item = py::check(PySequence_GetItem(info, i));
    const long value = PyLong_AsLong(item.get());
    if (value == -1 && PyErr_Occurred())
        py::throw_raised();
    return int(value);
}

void warn_on_version_mismatch() {
    const int major = running_version(0);
    const int minor = running_version(1);
    if (major == compiled_major && minor == compiled_minor)
        return;
    py::check_status(PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                      "compile time Python version %d.%d of module 'quorin.core.pdk' "
                                      "does not match runtime version %d.%d",
                                      compiled_major, compiled_minor, major, minor));
}

void execute_steps(PyObject* module) {
    py::Constant::create_all();
    const Ref builtins = py::check(PyImport_ImportModule("builtins"));
    py::check_status(PyObject_SetAttrString(module, "__builtins__", builtins.get()));
    warn_on_version_mismatch();
    PyObject* modules = PyImport_GetModuleDict();
    const int present = PyDict_ContainsString(modules, "quorin.core.pdk");
    py::check_status(present);
    if (present == 0)
        py::check_status(PyDict_SetItemString(modules, "quorin.core.pdk", module));
    bind_globals(module);
}

int execute(PyObject* module) {
    if (PyObject* const recorded = initialised_module.get()) {
        if (recorded == module)
            return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'pdk' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    initialised_module.reset(Ref::borrow(module));
    try {
        execute_steps(module);
        return 0;
    } catch (...) {
        // A failed start-up leaves nothing recorded, so the next import starts afresh.
        initialised_module.reset(Ref());
        py::set_error_from_current_exception();
        return -1;
    }
}

// The recorded module object is freed, after its interpreter ended: nothing
// can call the module any more, and what it kept is released. The module of a
// failed start-up leaves it to the next.
void free_module(void* module) {
    if (module != initialised_module.get())
        return;
    interpreter_ended = false;
    RuntimeState::release_all();
}

PyModuleDef_Slot slots[] = {
    {.slot = Py_mod_create, .value = reinterpret_cast<void*>(create)},
    {.slot = Py_mod_exec, .value = reinterpret_cast<void*>(execute)},
    {.slot = Py_mod_gil, .value = Py_MOD_GIL_USED},
    {.slot = 0, .value = nullptr},
};

// No per-module state: everything lives in the namespace, apart from the two
// records above and the static state of the interpreter's runtime.
PyModuleDef definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "pdk",
    .m_doc = "PDK Utilties.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = free_module,
};

}  // namespace

}  // namespace quorin::pdk

PyMODINIT_FUNC PyInit_pdk() {
    return PyModuleDef_Init(&quorin::pdk::definition);
}
