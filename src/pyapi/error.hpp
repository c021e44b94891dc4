// One exception type that carries a raised Python exception through C++.
#pragma once

#include "pyapi/ref.hpp"

#include <exception>
#include <source_location>

namespace quorin::py {

using Where = std::source_location;

// Thrown right after a C API call failed; owns the exception that call raised
// and remembers the line that threw, for the traceback entry of the function
// it leaves.
class Error final : public std::exception {
public:
    // Takes the currently raised exception (there must be one).
    explicit Error(Where where = Where::current()) noexcept;
    explicit Error(Ref exception, Where where = Where::current()) noexcept
        : exception_(std::move(exception)), where_(where) {}

    const char* what() const noexcept override { return "Python exception"; }
    PyObject* exception() const noexcept { return exception_.get(); }
    const Where& where() const noexcept { return where_; }
    // Puts the very object back as the raised exception, without chaining.
    void restore() noexcept;

private:
    Ref exception_;
    Where where_;
};

// Throws the exception the last failing C API call raised.
[[noreturn]] void throw_raised(Where where = Where::current());

// A format text and the line that uses it.
struct FormatAt {
    // NOLINTNEXTLINE(google-explicit-constructor): built from every literal passed to `raise`
    FormatAt(const char* text, Where where = Where::current()) noexcept : text(text), where(where) {}
    const char* text;
    Where where;
};

// An object passed to an operation that may fail, and the line that passes it:
// the variadic operations take their call site this way.
struct At {
    // NOLINTNEXTLINE(google-explicit-constructor): every object argument converts
    At(PyObject* object, Where where = Where::current()) noexcept : object(object), where(where) {}
    PyObject* object;
    Where where;
};

// Raises a new exception of `type` with a printf-style message and throws it.
template <class... Args>
[[noreturn, gnu::cold, gnu::noinline]] void raise(PyObject* type, FormatAt format, Args... args) {
    PyErr_Format(type, format.text, args...);
    throw_raised(format.where);
}

// `raise exception` as the interpreter's own statement does it: the exception
// being handled becomes its `__context__`, cutting a link that would close a
// cycle. `type` is the class the statement named.
[[noreturn]] void raise_chained(PyObject* type, PyObject* exception, Where where = Where::current());

// `raise value`: an exception instance is raised itself, an exception class
// is called first; anything else raises the interpreter's TypeError.
[[noreturn]] void raise_value(PyObject* value, Where where = Where::current());
// What `except type:` requires of its type before it matches (a class derived
// from BaseException, or a tuple of them): TypeError otherwise.
void check_except_type(PyObject* type, Where where = Where::current());

// Turns a C API result into an owned handle, throwing when it signals failure.
inline Ref check(PyObject* result, Where where = Where::current()) {
    if (result == nullptr) [[unlikely]]
        throw_raised(where);
    return Ref::steal(result);
}

inline void check_status(int status, Where where = Where::current()) {
    if (status < 0) [[unlikely]]
        throw_raised(where);
}

// The boundary of every function Python calls: turns any C++ exception into
// the pending Python exception (a carried one unchanged) and returns the line
// that threw it (for other exceptions, the boundary's own).
Where set_error_from_current_exception(Where boundary = Where::current()) noexcept;

template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body().release();
    } catch (...) {
        set_error_from_current_exception();
        return nullptr;
    }
}

}  // namespace quorin::py
