// The path objects that `FactoryRecord.absolute_source()` returns.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::paths {

// `path.name`, the file name.
Ref file_name(PyObject* path);
// Whether `path.relative_to(other)` returns (its result is dropped) rather than
// raise ValueError; any other exception propagates.
bool relative_to_succeeds(PyObject* path, PyObject* other);

}  // namespace quorin::pdk::contracts::paths
