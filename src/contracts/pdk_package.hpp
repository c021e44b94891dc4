// A PDK package: the module a project's settings name, which exposes its PDK
// as the attribute `PDK` (of the package or of its `pdk` submodule).
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::pdk_package {

// `hasattr(module, "PDK")`.
bool exposes_pdk(const Context& c, PyObject* module);
// `module.PDK`.
Ref pdk(PyObject* module);

}  // namespace quorin::pdk::contracts::pdk_package
