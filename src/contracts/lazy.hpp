// quorin.core.lazy: the proxies that bind the outside components at start-up
// without importing them.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::lazy {

// `lazy_import(module)`, or `lazy_import(module, attr)` where `attr` is given.
Ref lazy_import(PyObject* lazy_import, PyObject* module, const char* attr);

}  // namespace quorin::pdk::contracts::lazy
