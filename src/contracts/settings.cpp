#include "contracts/settings.hpp"

namespace quorin::pdk::contracts::settings {

namespace {
py::Name settings_name{"settings"};
py::Name get_pdk_name_name{"get_pdk_name"};
py::Name get_project_name_name{"get_project_name"};
py::Name get_project_dir_name{"get_project_dir"};
py::Name is_a_pdk_name{"is_a_pdk"};

Ref call(const Context& c, const py::Name& function) {
    return py::call_method(c.global(settings_name).get(), function);
}
}  // namespace

Ref get_pdk_name(const Context& c) {
    return call(c, get_pdk_name_name);
}
Ref get_project_name(const Context& c) {
    return call(c, get_project_name_name);
}
Ref get_project_dir(const Context& c) {
    return call(c, get_project_dir_name);
}
bool is_a_pdk(const Context& c) {
    return py::truth(call(c, is_a_pdk_name).get());
}

}  // namespace quorin::pdk::contracts::settings
