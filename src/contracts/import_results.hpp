// The two mappings `imports.import_modules` answers with.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::imports {

// `mapping.get(path, None)`; empty or None when there is no entry.
Ref result_entry(PyObject* mapping, PyObject* path);
// `mapping.get(path)`, the one-argument form; empty or None when there is no entry.
Ref module_entry(PyObject* mapping, PyObject* path);

}  // namespace quorin::pdk::contracts::imports
