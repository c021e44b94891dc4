// The third-party `frozendict`, through the global `frozendict`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts {

// `frozendict(value)`.
Ref frozendict(const Context& c, PyObject* value);

}  // namespace quorin::pdk::contracts
