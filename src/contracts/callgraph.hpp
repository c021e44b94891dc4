// quorin.core.callgraph (global `cg`), and the registration of a call graph's
// models by quorin.core.models (global `register_models`).
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::callgraph {

Ref create_callgraph(const Context& c);
// `cg.get_static_records(G, paths=paths)`.
Ref get_static_records(const Context& c, PyObject* graph, PyObject* paths);
// `register_models(G, reload=True)`.
void register_models(const Context& c, PyObject* graph);

}  // namespace quorin::pdk::contracts::callgraph
