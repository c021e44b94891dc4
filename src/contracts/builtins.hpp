// The interpreter's built-in names, as the module's code reads them: each is a
// global like any other, found in the module's namespace first, then in its
// builtins, at every use, and called as what it turns out to be. Python reads
// a callee before it evaluates the arguments, so an argument that takes
// Python code to compute can be passed as a function that computes it.
#pragma once

#include "contracts/common.hpp"

#include <concepts>

namespace quorin::pdk::contracts::builtins {

namespace detail {
inline Ref evaluate(PyObject* value) {
    return Ref::borrow(value);
}
template <std::invocable Compute>
Ref evaluate(Compute&& compute) {
    return compute();
}
}  // namespace detail

// `<global callee>(x)`: `list(x)`, `len(x)`, `sorted(x)`, `ValueError(x)` and the like.
template <class Arg>
Ref call(const Context& c, const py::Name& callee, Arg&& x, py::Where where = py::Where::current()) {
    const Ref function = c.global(callee, where);
    const Ref value = detail::evaluate(std::forward<Arg>(x));
    return py::call({function.get(), where}, value);
}

// `sorted(x, key=key)`.
template <class Arg>
Ref sorted(const Context& c, Arg&& x, PyObject* key, py::Where where = py::Where::current()) {
    const Ref sorted = c.global(names::sorted, where);
    const Ref value = detail::evaluate(std::forward<Arg>(x));
    return py::call_kw({sorted.get(), where}, names::kw_key, value, key);
}

// `isinstance(o, <global type_name>)`: `isinstance` is read before the type.
bool isinstance(const Context& c, PyObject* o, const py::Name& type_name,
                py::Where where = py::Where::current());
// `getattr(o, name, default_value)`, `hasattr(o, name)`.
Ref getattr(const Context& c, PyObject* o, PyObject* name, PyObject* default_value,
            py::Where where = py::Where::current());
bool hasattr(const Context& c, PyObject* o, PyObject* name, py::Where where = py::Where::current());

// `raise <global exception_name>(message)`.
[[noreturn]] void raise(const Context& c, const py::Name& exception_name, PyObject* message,
                        py::Where where = py::Where::current());
// Whether `raised` is caught by `except <global exception_name>:`; the name is
// read only here, when something was raised, as the clause reads it.
bool caught_by(const Context& c, PyObject* raised, const py::Name& exception_name,
               py::Where where = py::Where::current());

}  // namespace quorin::pdk::contracts::builtins
