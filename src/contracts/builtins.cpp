#include "contracts/builtins.hpp"

namespace quorin::pdk::contracts::builtins {

bool isinstance(const Context& c, PyObject* o, const py::Name& type_name, py::Where where) {
    const Ref isinstance = c.global(names::isinstance, where);
    const Ref type = c.global(type_name, where);
    return py::truth(py::call({isinstance.get(), where}, o, type).get(), where);
}

Ref getattr(const Context& c, PyObject* o, PyObject* name, PyObject* default_value, py::Where where) {
    return py::call({c.global(names::getattr, where).get(), where}, o, name, default_value);
}
bool hasattr(const Context& c, PyObject* o, PyObject* name, py::Where where) {
    return py::truth(py::call({c.global(names::hasattr, where).get(), where}, o, name).get(), where);
}

void raise(const Context& c, const py::Name& exception_name, PyObject* message, py::Where where) {
    py::raise_value(call(c, exception_name, message, where).get(), where);
}

bool caught_by(const Context& c, PyObject* raised, const py::Name& exception_name, py::Where where) {
    const Ref type = c.global(exception_name, where);
    py::check_except_type(type.get(), where);
    return PyErr_GivenExceptionMatches(raised, type.get()) != 0;
}

}  // namespace quorin::pdk::contracts::builtins
