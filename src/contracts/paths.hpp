// Path objects: those that `FactoryRecord.absolute_source()` returns, and
// those the global `Path` makes.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::paths {

// `Path(p)`.
Ref path(const Context& c, PyObject* p);
// `path.name`, the file name.
Ref file_name(PyObject* path);
// `path.resolve()`.
Ref resolve(PyObject* path);
// `path.parts`.
Ref parts(PyObject* path);

// `path.relative_to(other)`: whether it returns (its result is dropped) rather
// than raise what `except ValueError:` catches; any other exception
// propagates. The standard library's own POSIX paths are answered from their
// texts, without the call (pathlib/posix_relative_to.hpp), where that clause
// names the built-in ValueError.
bool relative_to_succeeds(const Context& c, PyObject* path, PyObject* other);

}  // namespace quorin::pdk::contracts::paths
