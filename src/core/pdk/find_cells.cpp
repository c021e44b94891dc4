#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref find_cells(const Context&) { py::raise(PyExc_NotImplementedError, "find_cells"); }

}  // namespace quorin::pdk
