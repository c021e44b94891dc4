// The factory records of quorin.models (global `m`): made, read and updated.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::records {

// `m.FactoryRecord(name=..., source=..., status=..., message=...)`.
Ref new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
               PyObject* message);
// `m.FactoryRecord`, looked up before the record's fields are computed.
Ref factory_record_class(const Context& c);
// `record.absolute_source()`, then the fields, read and written as attributes.
Ref absolute_source(PyObject* record);
Ref name(PyObject* record);
Ref source(PyObject* record);
Ref status(PyObject* record);
Ref message(PyObject* record);
void set_status(PyObject* record, PyObject* value);
void set_message(PyObject* record, PyObject* value);
// `lambda record: record.name`, the key records are sorted by.
Ref name_key();

}  // namespace quorin::pdk::contracts::records
