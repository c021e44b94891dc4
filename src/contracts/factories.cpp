#include "contracts/factories.hpp"

namespace quorin::pdk::contracts::factories {

namespace {
py::Name module_attr{"__module__"};
py::Name empty{""};
}  // namespace

Ref module_name(PyObject* factory) {
    Ref module = py::getattr_optional(factory, module_attr);
    return module ? std::move(module) : Ref::borrow(empty);
}

}  // namespace quorin::pdk::contracts::factories
