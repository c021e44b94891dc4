#include "core/pdk/functions.hpp"
#include "pyapi/error.hpp"

namespace quorin::pdk {

Ref sort_paths(const Context&) { py::raise(PyExc_NotImplementedError, "sort_paths"); }

}  // namespace quorin::pdk
