// Binds vectorcall arguments to a function's parameters, with the exact
// argument-error texts callers rely on.
#pragma once

#include "pyapi/function.hpp"

#include <array>

namespace quorin::py {

struct BoundArgs {
    std::array<PyObject*, max_params> values{};  // borrowed from the call
    Ref owned_default;                           // keeps a default alive if one was made
};

// Fills `bound` in parameter order; throws the TypeError of the first problem.
void bind(const FunctionDef& def, PyObject* const* args, size_t nargsf, PyObject* kwnames, BoundArgs& bound);

}  // namespace quorin::py
