// Start-up: the initialisation entry point and its create and execute steps.
#include "core/pdk/globals.hpp"
#include "pyapi/error.hpp"
#include "pyapi/names.hpp"

#include <cstdint>

namespace quorin::pdk {

namespace {

using py::Ref;

// The two process-wide records of start-up.
std::int64_t first_interpreter_id = -1;
PyObject* initialised_module = nullptr;

constexpr int compiled_major = 3;
constexpr int compiled_minor = 13;

void check_single_interpreter() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1)
        py::throw_raised();
    if (first_interpreter_id == -1)
        first_interpreter_id = id;
    else if (first_interpreter_id != id)
        py::raise(PyExc_ImportError,
                  "Interpreter change detected - this module can only be loaded into one interpreter "
                  "per process.");
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
        if (initialised_module != nullptr)
            return Ref::borrow(initialised_module);
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

void warn_on_version_mismatch() {
    const int major = int((Py_Version >> 24) & 0xff);
    const int minor = int((Py_Version >> 16) & 0xff);
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
    if (initialised_module != nullptr) {
        if (initialised_module == module)
            return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'pdk' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    initialised_module = Py_NewRef(module);
    try {
        execute_steps(module);
        return 0;
    } catch (...) {
        // A failed start-up leaves nothing recorded, so the next import starts afresh.
        Py_CLEAR(initialised_module);
        py::set_error_from_current_exception();
        return -1;
    }
}

PyModuleDef_Slot slots[] = {
    {.slot = Py_mod_create, .value = reinterpret_cast<void*>(create)},
    {.slot = Py_mod_exec, .value = reinterpret_cast<void*>(execute)},
    {.slot = Py_mod_gil, .value = Py_MOD_GIL_USED},
    {.slot = 0, .value = nullptr},
};

// No per-module state: everything lives in the namespace, apart from the two
// process-wide records above.
PyModuleDef definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "pdk",
    .m_doc = "PDK Utilties.",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace quorin::pdk

PyMODINIT_FUNC PyInit_pdk() {
    return PyModuleDef_Init(&quorin::pdk::definition);
}
