#include "contracts/callgraph.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts {

namespace {
py::Name cg_name{"cg"};
py::Name create_callgraph_name{"create_callgraph"};
py::Name get_static_records_name{"get_static_records"};
py::Name register_models_name{"register_models"};
py::Name m_name{"m"};
py::Name factory_record_name{"FactoryRecord"};
py::Attribute absolute_source_attr{"absolute_source"};
py::Attribute name_attr{"name"};
py::Attribute source_attr{"source"};
py::Attribute status_attr{"status"};
py::Attribute message_attr{"message"};
py::NameTuple kw_paths{"paths"};
py::NameTuple kw_reload{"reload"};
py::NameTuple kw_record{"name", "source", "status", "message"};
}  // namespace

Ref callgraph::create_callgraph(const Context& c) {
    return py::call_method(c.global(cg_name).get(), create_callgraph_name);
}
Ref callgraph::get_static_records(const Context& c, PyObject* graph, PyObject* paths) {
    const Ref function = py::getattr(c.global(cg_name).get(), get_static_records_name);
    return py::call_kw(function.get(), kw_paths, graph, paths);
}
void callgraph::register_models(const Context& c, PyObject* graph) {
    py::call_kw(c.global(register_models_name).get(), kw_reload, graph, Py_True);
}

Ref records::factory_record_class(const Context& c) {
    return py::getattr(c.global(m_name).get(), factory_record_name);
}
Ref records::new_record(PyObject* factory_record, PyObject* name, PyObject* source, PyObject* status,
                        PyObject* message) {
    return py::call_kw(factory_record, kw_record, name, source, status, message);
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
