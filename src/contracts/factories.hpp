// Cell and container factories: the callables a PDK's registries hold.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::factories {

// `getattr(factory, "__module__", "")`.
Ref module_name(const Context& c, PyObject* factory);

}  // namespace quorin::pdk::contracts::factories
