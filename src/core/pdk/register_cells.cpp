#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref register_cells(const Context&) { py::raise(PyExc_NotImplementedError, "register_cells"); }

}  // namespace quorin::pdk
