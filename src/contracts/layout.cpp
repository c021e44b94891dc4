#include "contracts/layout.hpp"

#include "pyapi/attribute.hpp"

namespace quorin::pdk::contracts::layout {

namespace {
py::Name lm_name{"lm"};
py::Name pdk_name{"Pdk"};
py::Name frozendict_name{"frozendict"};
py::Name activate_name{"activate"};
py::Name name_name{"name"};
py::Attribute cells_attr{"cells"};
py::Attribute containers_attr{"containers"};
}  // namespace

Ref pdk_class(const Context& c) {
    return py::getattr(c.global(lm_name).get(), pdk_name);
}
Ref frozendict(const Context& c, PyObject* value) {
    return py::call(c.global(frozendict_name).get(), value);
}
void activate(PyObject* pdk) {
    py::call_method(pdk, activate_name);
}
Ref name(PyObject* pdk) {
    return py::getattr(pdk, name_name);
}
Ref cells(PyObject* pdk) {
    return cells_attr.get(pdk);
}
Ref containers(PyObject* pdk) {
    return containers_attr.get(pdk);
}

}  // namespace quorin::pdk::contracts::layout
