#include "contracts/factories.hpp"

namespace quorin::pdk::contracts::factories {

Ref module_name(PyObject* factory) {
    Ref module = py::getattr_optional(factory, names::dunder_module);
    return module ? std::move(module) : Ref::borrow(names::empty_text);
}

}  // namespace quorin::pdk::contracts::factories
