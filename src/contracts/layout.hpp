// The layout library (global `lm`) and `frozendict`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::layout {

// `lm.Pdk`.
Ref pdk_class(const Context& c);
// `frozendict(value)`.
Ref frozendict(const Context& c, PyObject* value);
// `pdk.activate()`, result ignored.
void activate(PyObject* pdk);
// `pdk.name`, `pdk.cells`, `pdk.containers`.
Ref name(PyObject* pdk);
Ref cells(PyObject* pdk);
Ref containers(PyObject* pdk);

}  // namespace quorin::pdk::contracts::layout
