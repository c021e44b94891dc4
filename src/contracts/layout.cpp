#include "contracts/layout.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts::layout {

namespace {
py::Attribute cells_attr{names::cells};
py::Attribute containers_attr{names::containers};
}  // namespace

Ref pdk_class(const Context& c) {
    return py::getattr(c.global(names::lm).get(), names::Pdk);
}
Ref frozendict(const Context& c, PyObject* value) {
    return py::call(c.global(names::frozendict).get(), value);
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

}  // namespace quorin::pdk::contracts::layout
