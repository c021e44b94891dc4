#include "contracts/logger.hpp"

namespace quorin::pdk::contracts::logger {

namespace {
py::Name log_name{"log"};
py::Name debug_name{"debug"};
py::Name info_name{"info"};
py::Name warning_name{"warning"};

Ref method(const Context& c, const py::Name& level) {
    const Ref logger = py::call(c.global(log_name).get());
    return py::getattr(logger.get(), level);
}
}  // namespace

void Line::operator()(PyObject* text) const {
    py::call(method_.get(), text);
}

Line debug(const Context& c) {
    return Line(method(c, debug_name));
}
Line info(const Context& c) {
    return Line(method(c, info_name));
}
Line warning(const Context& c) {
    return Line(method(c, warning_name));
}

}  // namespace quorin::pdk::contracts::logger
