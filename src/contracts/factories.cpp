#include "contracts/factories.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts::factories {

namespace {
py::Attribute module_attr{names::dunder_module};
}  // namespace

Ref module_name(PyObject* factory) {
    Ref module = module_attr.get_optional(factory);
    return module ? std::move(module) : Ref::borrow(names::empty_text);
}

}  // namespace quorin::pdk::contracts::factories
