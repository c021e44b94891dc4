#include "contracts/settings.hpp"

namespace quorin::pdk::contracts::settings {

namespace {
Ref call(const Context& c, const py::Name& function) {
    return py::call_method(c.global(names::settings).get(), function);
}
}  // namespace

Ref get_pdk_name(const Context& c) {
    return call(c, names::get_pdk_name);
}
Ref get_project_name(const Context& c) {
    return call(c, names::get_project_name);
}
Ref get_project_dir(const Context& c) {
    return call(c, names::get_project_dir);
}
bool is_a_pdk(const Context& c) {
    return py::truth(call(c, names::is_a_pdk).get());
}

}  // namespace quorin::pdk::contracts::settings
