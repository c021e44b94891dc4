#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref import_modules(const Context&) { py::raise(PyExc_NotImplementedError, "import_modules"); }

}  // namespace quorin::pdk
