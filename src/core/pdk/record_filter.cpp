#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref filter_records_for_non_pdk_project(const Context&) { py::raise(PyExc_NotImplementedError, "filter_records_for_non_pdk_project"); }

}  // namespace quorin::pdk
