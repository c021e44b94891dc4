#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref clean_containers_also_in_cells(const Context&) { py::raise(PyExc_NotImplementedError, "clean_containers_also_in_cells"); }

}  // namespace quorin::pdk
