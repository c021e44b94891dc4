#include "contracts/frozendict.hpp"

namespace quorin::pdk::contracts {

Ref frozendict(const Context& c, PyObject* value) {
    return py::call(c.global(names::frozendict).get(), value);
}

}  // namespace quorin::pdk::contracts
