// The identity of Python code, as a digest of what decides what it does.
#pragma once

#include "pyapi/ref.hpp"

#include <cstdint>
#include <optional>

namespace quorin::pdk::contracts::pathlib {

// A digest of a code object: its argument counts and flags, bytecode (without
// the interpreter's specialisations), exception table, constants (nested code
// objects included, recursively) and names (global and attribute names,
// locals, cell and free variables). File names and line numbers are left out:
// they move with the installation and with edits elsewhere in the file.
// Empty where the code holds a constant of a kind the digest does not know.
// tools/code_digests.py computes the same digest in Python.
std::optional<std::uint64_t> code_digest(PyObject* code);

}  // namespace quorin::pdk::contracts::pathlib
