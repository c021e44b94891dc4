// The standard-library globals the module calls.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts {

namespace importlib {
Ref import_module(const Context& c, PyObject* name);
Ref reload(const Context& c, PyObject* module);
}  // namespace importlib

// `sys.modules`, read from the global `sys`.
Ref sys_modules(const Context& c);
// `warnings.warn(message, category, stacklevel=2)`.
void warn(const Context& c, PyObject* message, PyObject* category);
Ref copy(const Context& c, PyObject* obj);
Ref deepcopy(const Context& c, PyObject* obj);
Ref cast(const Context& c, PyObject* type, PyObject* obj);
// `Path(p)`.
Ref path(const Context& c, PyObject* p);
// `defaultdict(list)`.
Ref defaultdict_of_lists(const Context& c);

}  // namespace quorin::pdk::contracts
