#include "pyapi/traceback.hpp"

#include "pyapi/runtime_state.hpp"

#include <frameobject.h>

#include <array>
#include <cstring>
#include <string_view>

namespace quorin::py {

namespace {

// Source files are named relative to the project root, as this file's own
// compiled name reveals it.
constexpr std::string_view this_file = "src/pyapi/traceback.cpp";
constexpr std::string_view compiled_name = Where::current().file_name();
constexpr std::size_t root_length =
    compiled_name.ends_with(this_file) ? compiled_name.size() - this_file.size() : 0;

const char* project_relative(const char* file) {
    const std::string_view name = file;
    return name.starts_with(compiled_name.substr(0, root_length)) ? file + root_length : file;
}

// The code objects of recent entries, one per function name and source line,
// so that a function failing over and over makes its code object once. A few
// slots replaced in turn keep the memory bounded whatever fails. They live as
// long as the module's runtime, like the interned names.
struct CachedCode {
    StaticRef qualname;
    const char* file = nullptr;
    unsigned line = 0;
    StaticRef code;
};
std::array<CachedCode, 64> code_cache;
std::size_t next_slot = 0;

bool same_key(const CachedCode& entry, PyObject* qualname, const Where& where) {
    PyObject* const cached = entry.qualname.get();
    return entry.line == where.line() && cached != nullptr &&
           (entry.file == where.file_name() || std::strcmp(entry.file, where.file_name()) == 0) &&
           (cached == qualname || PyUnicode_Compare(cached, qualname) == 0);
}

// A new reference to an empty code object that a traceback shows as
// `qualname` in the source file at the line; null with an exception set.
PyObject* new_code(PyObject* qualname, const Where& where) {
    const char* name = PyUnicode_AsUTF8(qualname);
    if (name == nullptr)
        return nullptr;
    return reinterpret_cast<PyObject*>(
        PyCode_NewEmpty(project_relative(where.file_name()), name, int(where.line())));
}

// A new reference; null with an exception set.
PyObject* code_for(PyObject* qualname, const Where& where) {
    // Only exact strings are kept: releasing one runs no Python code.
    if (!PyUnicode_CheckExact(qualname))
        return new_code(qualname, where);
    for (const CachedCode& entry : code_cache) {
        if (same_key(entry, qualname, where))
            return Py_NewRef(entry.code.get());
    }
    PyObject* code = new_code(qualname, where);
    if (code == nullptr)
        return nullptr;
    CachedCode& slot = code_cache[next_slot];
    next_slot = (next_slot + 1) % code_cache.size();
    slot.qualname.reset(Ref::borrow(qualname));
    slot.code.reset(Ref::borrow(code));
    slot.file = where.file_name();
    slot.line = where.line();
    return code;
}

// Empty with an exception set on failure.
Ref new_frame(PyObject* code, PyObject* globals) {
    PyFrameObject* frame =
        PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code), globals, nullptr);
    return Ref::steal(reinterpret_cast<PyObject*>(frame));
}

}  // namespace

Ref code_object(PyObject* qualname, const Where& where) {
    return check(new_code(qualname, where));
}

[[gnu::cold]] void add_traceback_entry(PyObject* qualname, PyObject* globals, const Where& where) noexcept {
    PyObject* raised = PyErr_GetRaisedException();
    if (raised == nullptr)
        return;
    const Ref code = Ref::steal(code_for(qualname, where));
    const Ref frame = code ? new_frame(code.get(), globals) : Ref();
    // The exception goes on with a new reference; `raised` is kept to put the
    // original back unchanged if the entry cannot be added.
    if (frame) {
        PyErr_SetRaisedException(Py_NewRef(raised));
        if (PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get())) == 0) {
            Py_DECREF(raised);
            return;
        }
    }
    PyErr_Clear();
    PyErr_SetRaisedException(raised);
}

}  // namespace quorin::py
