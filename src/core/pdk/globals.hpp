// Start-up: binds the module globals.
#pragma once

#include "pyapi/ref.hpp"

namespace quorin::pdk {

struct FunctionRow;

// A new function of the module's made from `row`, with its name, qualified
// name, docstring and annotations, looking its names up in `globals`.
py::Ref new_function(PyObject* globals, const FunctionRow& row);

// Binds every global of the module into `module`'s namespace; throws on failure.
void bind_globals(PyObject* module);

}  // namespace quorin::pdk
