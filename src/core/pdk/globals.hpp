// Start-up: binds the module globals.
#pragma once

#include "pyapi/ref.hpp"

namespace quorin::pdk {

// Binds every global of the module into `module`'s namespace; throws on failure.
void bind_globals(PyObject* module);

}  // namespace quorin::pdk
