// One exception type that carries a raised Python exception through C++.
#pragma once

#include "pyapi/ref.hpp"

#include <exception>

namespace quorin::py {

// Thrown right after a C API call failed; owns the exception that call raised.
class Error final : public std::exception {
public:
    // Takes the currently raised exception (there must be one).
    Error() noexcept;
    explicit Error(Ref exception) noexcept : exception_(std::move(exception)) {}

    const char* what() const noexcept override { return "Python exception"; }
    PyObject* exception() const noexcept { return exception_.get(); }
    // Puts the very object back as the raised exception, without chaining.
    void restore() noexcept;

private:
    Ref exception_;
};

// Throws the exception the last failing C API call raised.
[[noreturn]] void throw_raised();

// Raises a new exception of `type` with a printf-style message and throws it.
[[noreturn]] void raise(PyObject* type, const char* format, ...);

// `raise exception` as the interpreter's own statement does it: the exception
// being handled becomes its `__context__`, cutting a link that would close a
// cycle. `type` is the class the statement named.
[[noreturn]] void raise_chained(PyObject* type, PyObject* exception);

// Turns a C API result into an owned handle, throwing when it signals failure.
inline Ref check(PyObject* result) {
    if (result == nullptr) [[unlikely]]
        throw_raised();
    return Ref::steal(result);
}

inline void check_status(int status) {
    if (status < 0) [[unlikely]]
        throw_raised();
}

// The boundary of every function Python calls: runs `body`, and turns any C++
// exception into the pending Python exception (a carried one unchanged).
void set_error_from_current_exception() noexcept;

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
