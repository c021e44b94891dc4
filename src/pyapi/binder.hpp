// Binds vectorcall arguments to a function's parameters, with the exact
// argument-error texts callers rely on.
#pragma once

#include "pyapi/function.hpp"

#include <array>

namespace quorin::py {

struct BoundArgs {
    std::array<PyObject*, max_params> values{};  // borrowed from the call or from `defaults`
    std::array<Ref, max_params> defaults{};      // the defaults taken, held for the call
};

// The defaults a function has now, as a Python function keeps them: its
// `__defaults__` (a tuple for the last positional parameters, or None) and
// `__kwdefaults__` (a dict by keyword-only parameter name, or None).
struct Defaults {
    PyObject* positional;
    PyObject* keyword_only;
};

// Fills `bound` in parameter order; throws the TypeError of the first problem.
void bind(const FunctionDef& def, PyObject* const* args, size_t nargsf, PyObject* kwnames,
          const Defaults& defaults, BoundArgs& bound);

}  // namespace quorin::py
