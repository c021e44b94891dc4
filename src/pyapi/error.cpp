#include "pyapi/error.hpp"

#include <new>

namespace quorin::py {

Error::Error(Where where) noexcept : exception_(Ref::steal(PyErr_GetRaisedException())), where_(where) {
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

[[gnu::cold]] void throw_raised(Where where) {
    throw Error(where);
}

[[gnu::cold]] void raise_chained(PyObject* type, PyObject* exception, Where where) {
    // The one C API call that chains, with the interpreter's cycle rule.
    PyErr_SetObject(type, exception);
    throw Error(where);
}

[[gnu::cold]] void raise_value(PyObject* value, Where where) {
    if (PyExceptionInstance_Check(value))
        raise_chained(reinterpret_cast<PyObject*>(Py_TYPE(value)), value, where);
    if (PyExceptionClass_Check(value)) {
        const Ref instance = Ref::steal(PyObject_CallNoArgs(value));
        if (!instance)
            throw_raised(where);
        if (!PyExceptionInstance_Check(instance.get()))
            raise(PyExc_TypeError,
                  {"calling %R should have returned an instance of BaseException, not %R", where}, value,
                  reinterpret_cast<PyObject*>(Py_TYPE(instance.get())));
        raise_chained(value, instance.get(), where);
    }
    raise(PyExc_TypeError, {"exceptions must derive from BaseException", where});
}

void check_except_type(PyObject* type, Where where) {
    auto valid = [](PyObject* t) { return PyExceptionClass_Check(t); };
    bool ok = valid(type);
    if (!ok && PyTuple_Check(type)) {
        ok = true;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(type); ++i)
            ok = ok && valid(PyTuple_GET_ITEM(type, i));
    }
    if (!ok) [[unlikely]]
        raise(PyExc_TypeError,
              {"catching classes that do not inherit from BaseException is not allowed", where});
}

[[gnu::cold]] Where set_error_from_current_exception(Where boundary) noexcept {
    try {
        throw;
    } catch (Error& error) {
        error.restore();
        return error.where();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "internal error: %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error: unknown C++ exception");
    }
    return boundary;
}

}  // namespace quorin::py
