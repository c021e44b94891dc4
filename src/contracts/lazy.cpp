#include "contracts/lazy.hpp"

namespace quorin::pdk::contracts::lazy {

Ref lazy_import(PyObject* lazy_import, PyObject* module, const char* attr) {
    if (attr == nullptr)
        return py::call(lazy_import, module);
    return py::call(lazy_import, module, py::new_str(attr));
}

}  // namespace quorin::pdk::contracts::lazy
