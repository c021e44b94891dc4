// Shared by the contract headers: each operation reads the module global it
// goes through at the moment of the call, so a replaced global takes effect.
#pragma once

#include "contracts/identifiers.hpp"
#include "pyapi/function.hpp"
#include "pyapi/ops.hpp"

namespace quorin::pdk::contracts {
using py::Context;
using py::Ref;
}  // namespace quorin::pdk::contracts
