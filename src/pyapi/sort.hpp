// Key functions for sorting Python objects. Python objects are ordered only by
// the interpreter's own list sort (`sorted`, `list.sort`): a `__lt__` written in
// Python may answer inconsistently, raise, or change the list, and the list
// sort survives all of that where a C++ sort would run off its buffer.
#pragma once

#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

namespace quorin::py {

// `lambda item: item.<attribute>`, a key function.
Ref attribute_getter(const Name& attribute);

}  // namespace quorin::py
