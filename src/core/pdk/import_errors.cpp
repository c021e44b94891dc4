#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref handle_import_errors(const Context&) { py::raise(PyExc_NotImplementedError, "handle_import_errors"); }

}  // namespace quorin::pdk
