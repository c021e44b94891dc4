#include "contracts/factories.hpp"

#include "contracts/builtins.hpp"

namespace quorin::pdk::contracts::factories {

Ref module_name(const Context& c, PyObject* factory) {
    return builtins::getattr(c, factory, names::dunder_module, names::empty_text);
}

}  // namespace quorin::pdk::contracts::factories
