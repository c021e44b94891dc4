#include "contracts/records.hpp"

#include "pyapi/attribute.hpp"
#include "pyapi/sort.hpp"

namespace quorin::pdk::contracts::records {

namespace {
py::Attribute absolute_source_attr{names::absolute_source};
py::Attribute name_attr{names::name};
py::Attribute source_attr{names::source};
py::Attribute status_attr{names::status};
py::Attribute message_attr{names::message};
}  // namespace

Ref factory_record_class(const Context& c) {
    return py::getattr(c.global(names::m).get(), names::FactoryRecord);
}
Ref new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
               PyObject* message) {
    return py::call_kw(factory_record, names::kw_name_source_status_message, name, source, status, message);
}
Ref absolute_source(PyObject* record) {
    return absolute_source_attr.call(record);
}
Ref name(PyObject* record) {
    return name_attr.get(record);
}
Ref source(PyObject* record) {
    return source_attr.get(record);
}
Ref status(PyObject* record) {
    return status_attr.get(record);
}
Ref message(PyObject* record) {
    return message_attr.get(record);
}
void set_status(PyObject* record, PyObject* value) {
    status_attr.set(record, value);
}
void set_message(PyObject* record, PyObject* value) {
    message_attr.set(record, value);
}

void sort_by_name(PyObject* records) {
    py::sort_by_attribute(records, names::name);
}

}  // namespace quorin::pdk::contracts::records
