#include "contracts/logger.hpp"

namespace quorin::pdk::contracts::logger {

namespace {
Ref method(const Context& c, const py::Name& level) {
    const Ref logger = py::call(c.global(names::log).get());
    return py::getattr(logger.get(), level);
}
}  // namespace

void Line::operator()(PyObject* text) const {
    py::call(method_.get(), text);
}

Line debug(const Context& c) {
    return Line(method(c, names::debug));
}
Line info(const Context& c) {
    return Line(method(c, names::info));
}
Line warning(const Context& c) {
    return Line(method(c, names::warning));
}

}  // namespace quorin::pdk::contracts::logger
