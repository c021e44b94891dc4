#include "contracts/records.hpp"

#include "pyapi/sort.hpp"

namespace quorin::pdk::contracts::records {

Ref factory_record_class(const Context& c) {
    return py::getattr(c.global(names::m).get(), names::FactoryRecord);
}
Ref new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
               PyObject* message) {
    return py::call_kw(factory_record, names::kw_name_source_status_message, name, source, status, message);
}
Ref absolute_source(PyObject* record) {
    return py::call_method(record, names::absolute_source);
}
Ref name(PyObject* record) {
    return py::getattr(record, names::name);
}
Ref source(PyObject* record) {
    return py::getattr(record, names::source);
}
Ref status(PyObject* record) {
    return py::getattr(record, names::status);
}
Ref message(PyObject* record) {
    return py::getattr(record, names::message);
}
void set_status(PyObject* record, PyObject* value) {
    py::setattr(record, names::status, value);
}
void set_message(PyObject* record, PyObject* value) {
    py::setattr(record, names::message, value);
}

Ref name_key() {
    return py::attribute_getter(names::name);
}

}  // namespace quorin::pdk::contracts::records
