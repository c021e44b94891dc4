#include "contracts/pdk_package.hpp"

#include "contracts/builtins.hpp"

namespace quorin::pdk::contracts::pdk_package {

bool exposes_pdk(const Context& c, PyObject* module) {
    return builtins::hasattr(c, module, names::PDK);
}
Ref pdk(PyObject* module) {
    return py::getattr(module, names::PDK);
}

}  // namespace quorin::pdk::contracts::pdk_package
