#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref get_database_updates(const Context&) { py::raise(PyExc_NotImplementedError, "get_database_updates"); }

}  // namespace quorin::pdk
