// quorin.core.callgraph (global `cg`), quorin.models (global `m`) and
// quorin.core.models (global `register_models`).
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::callgraph {

Ref create_callgraph(const Context& c);
// `cg.get_static_records(G, paths=paths)`.
Ref get_static_records(const Context& c, PyObject* graph, PyObject* paths);
// `register_models(G, reload=True)`.
void register_models(const Context& c, PyObject* graph);

}  // namespace quorin::pdk::contracts::callgraph

namespace quorin::pdk::contracts::records {

// `m.FactoryRecord(name=..., source=..., status=..., message=...)`.
Ref new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
               PyObject* message);
// `m.FactoryRecord`, looked up before the record's fields are computed.
Ref factory_record_class(const Context& c);
Ref absolute_source(PyObject* record);
Ref name(PyObject* record);
Ref source(PyObject* record);
Ref status(PyObject* record);
Ref message(PyObject* record);
void set_status(PyObject* record, PyObject* value);
void set_message(PyObject* record, PyObject* value);

}  // namespace quorin::pdk::contracts::records
