#include "pyapi/error.hpp"

#include <cstdarg>
#include <new>

namespace quorin::py {

Error::Error() noexcept : exception_(Ref::steal(PyErr_GetRaisedException())) {
    if (!exception_) {
        // A C API call reported failure without raising: keep the invariant that
        // an Error always carries an exception.
        PyErr_SetString(PyExc_SystemError, "error return without exception set");
        exception_ = Ref::steal(PyErr_GetRaisedException());
    }
}

void Error::restore() noexcept {
    PyErr_SetRaisedException(exception_.release());
}

[[gnu::cold]] void throw_raised() {
    throw Error();
}

[[gnu::cold]] void raise(PyObject* type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PyErr_FormatV(type, format, args);
    va_end(args);
    throw Error();
}

[[gnu::cold]] void raise_chained(PyObject* type, PyObject* exception) {
    // The one C API call that chains, with the interpreter's cycle rule.
    PyErr_SetObject(type, exception);
    throw Error();
}

[[gnu::cold]] void set_error_from_current_exception() noexcept {
    try {
        throw;
    } catch (Error& error) {
        error.restore();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "internal error: %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error: unknown C++ exception");
    }
}

}  // namespace quorin::py
