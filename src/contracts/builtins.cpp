#include "contracts/builtins.hpp"

namespace quorin::pdk::contracts::builtins {

bool isinstance(const Context& c, PyObject* o, const py::Name& type_name) {
    const Ref isinstance = c.global(names::isinstance);
    const Ref type = c.global(type_name);
    return py::truth(py::call(isinstance.get(), o, type).get());
}

Ref getattr(const Context& c, PyObject* o, PyObject* name, PyObject* default_value) {
    return py::call(c.global(names::getattr).get(), o, name, default_value);
}
bool hasattr(const Context& c, PyObject* o, PyObject* name) {
    return py::truth(py::call(c.global(names::hasattr).get(), o, name).get());
}

void raise(const Context& c, const py::Name& exception_name, PyObject* message, py::Where where) {
    py::raise_value(exception(c, exception_name, message).get(), where);
}

bool caught_by(const Context& c, PyObject* raised, const py::Name& exception_name) {
    const Ref type = c.global(exception_name);
    py::check_except_type(type.get());
    return PyErr_GivenExceptionMatches(raised, type.get()) != 0;
}

}  // namespace quorin::pdk::contracts::builtins
