// quorin.core.imports, through the global `imports`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::imports {

// The attribute `imports.import_modules`, looked up before its arguments are made.
Ref import_modules_function(const Context& c);
// `import_modules(paths=paths, reload=reload, from_project=False)`.
Ref call_import_modules(PyObject* import_modules, PyObject* paths, bool reload);
// `imports.get_cells_from_regex(path)`; empty when a lookup or the call
// raises an Exception (anything else propagates).
Ref get_cells_from_regex(const Context& c, PyObject* path);

// Of the two mappings `import_modules` answers with (modules and errors, by
// path): `mapping.get(path, None)`; empty or None when there is no entry.
Ref result_entry(PyObject* mapping, PyObject* path);
// `mapping.get(path)`, the one-argument form; empty or None when there is no entry.
Ref module_entry(PyObject* mapping, PyObject* path);
// `getattr(module, name, None)` on a module it imported; empty or None when
// there is no such attribute.
Ref module_attribute(const Context& c, PyObject* module, PyObject* name);

}  // namespace quorin::pdk::contracts::imports
