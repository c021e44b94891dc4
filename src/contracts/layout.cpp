#include "contracts/layout.hpp"

namespace quorin::pdk::contracts::layout {

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
    return py::getattr(pdk, names::cells);
}
Ref containers(PyObject* pdk) {
    return py::getattr(pdk, names::containers);
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
