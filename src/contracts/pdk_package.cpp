#include "contracts/pdk_package.hpp"

namespace quorin::pdk::contracts::pdk_package {

bool exposes_pdk(PyObject* module) {
    return py::hasattr(module, names::PDK);
}
Ref pdk(PyObject* module) {
    return py::getattr(module, names::PDK);
}

}  // namespace quorin::pdk::contracts::pdk_package
