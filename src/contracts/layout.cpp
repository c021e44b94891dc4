#include "contracts/layout.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts::layout {

namespace {
py::Attribute cells_attr{names::cells};
py::Attribute containers_attr{names::containers};
}  // namespace

Ref pdk_class(PyObject* lm) {
    return py::getattr(lm, names::Pdk);
}
void activate(PyObject* pdk) {
    py::call_method(pdk, names::activate);
}
Ref name(PyObject* pdk) {
    return py::getattr(pdk, names::name);
}
Ref cells(PyObject* pdk) {
    return cells_attr.get(pdk);
}
Ref containers(PyObject* pdk) {
    return containers_attr.get(pdk);
}
Ref attributes(PyObject* pdk) {
    return py::getattr(pdk, names::dunder_dict);
}
void update_attributes(PyObject* pdk, PyObject* values) {
    py::call_method(attributes(pdk).get(), names::update, values);
}
void set_class(PyObject* pdk, PyObject* cls) {
    py::setattr(pdk, names::dunder_class, cls);
}
Ref get_generic_pdk(PyObject* module) {
    return py::getattr(module, names::get_generic_pdk);
}

CellsUpdate::CellsUpdate(PyObject* pdk) : update_(py::getattr(cells(pdk).get(), names::update)) {}
void CellsUpdate::operator()(PyObject* registered) const {
    py::call(update_.get(), registered);
}

}  // namespace quorin::pdk::contracts::layout
