#include "contracts/callgraph.hpp"

namespace quorin::pdk::contracts::callgraph {

Ref create_callgraph(const Context& c) {
    return py::call_method(c.global(names::cg).get(), names::create_callgraph);
}
Ref get_static_records(const Context& c, PyObject* graph, PyObject* paths) {
    const Ref function = py::getattr(c.global(names::cg).get(), names::get_static_records);
    return py::call_kw(function.get(), names::kw_paths, graph, paths);
}
void register_models(const Context& c, PyObject* graph) {
    py::call_kw(c.global(names::register_models).get(), names::kw_reload, graph, Py_True);
}

}  // namespace quorin::pdk::contracts::callgraph
