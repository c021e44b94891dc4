#include "contracts/callgraph.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts {

namespace {
py::Attribute absolute_source_attr{names::absolute_source};
py::Attribute name_attr{names::name};
py::Attribute source_attr{names::source};
py::Attribute status_attr{names::status};
py::Attribute message_attr{names::message};
}  // namespace

Ref callgraph::create_callgraph(const Context& c) {
    return py::call_method(c.global(names::cg).get(), names::create_callgraph);
}
Ref callgraph::get_static_records(const Context& c, PyObject* graph, PyObject* paths) {
    const Ref function = py::getattr(c.global(names::cg).get(), names::get_static_records);
    return py::call_kw(function.get(), names::kw_paths, graph, paths);
}
void callgraph::register_models(const Context& c, PyObject* graph) {
    py::call_kw(c.global(names::register_models).get(), names::kw_reload, graph, Py_True);
}

Ref records::factory_record_class(const Context& c) {
    return py::getattr(c.global(names::m).get(), names::FactoryRecord);
}
Ref records::new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
                        PyObject* message) {
    return py::call_kw(factory_record, names::kw_name_source_status_message, name, source, status, message);
}
Ref records::absolute_source(PyObject* record) {
    return absolute_source_attr.call(record);
}
Ref records::name(PyObject* record) {
    return name_attr.get(record);
}
Ref records::source(PyObject* record) {
    return source_attr.get(record);
}
Ref records::status(PyObject* record) {
    return status_attr.get(record);
}
Ref records::message(PyObject* record) {
    return message_attr.get(record);
}
void records::set_status(PyObject* record, PyObject* value) {
    status_attr.set(record, value);
}
void records::set_message(PyObject* record, PyObject* value) {
    message_attr.set(record, value);
}

}  // namespace quorin::pdk::contracts
