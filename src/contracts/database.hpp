// quorin.core.database, through the global `db`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::database {

// Each item of `names` (a list) as one positional argument.
Ref get_factories_by_name(const Context& c, PyObject* names);
// Each item of `paths` (a list) as one positional argument.
Ref get_factories_by_source(const Context& c, PyObject* paths);
Ref get_all_factories(const Context& c);
void update_factories(const Context& c, PyObject* add, PyObject* remove);

}  // namespace quorin::pdk::contracts::database
