// `get_pdk` and the deprecated `activate_pdk_by_name`.
#include "contracts/layout.hpp"
#include "contracts/logger.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"

namespace quorin::pdk {

namespace {
py::Name get_base_pdk_name{"get_base_pdk"};
py::Name get_pdk_cached_name{"_get_pdk"};
py::Name get_pdk_name{"get_pdk"};
py::Name empty_text{""};
}  // namespace

Ref get_pdk(const Context& c) {
    py::call(c.global(get_base_pdk_name).get());
    Ref pdk = py::call(c.global(get_pdk_cached_name).get());
    contracts::layout::activate(pdk.get());
    const auto debug = contracts::logger::debug(c);
    const Ref pdk_name = py::text(contracts::layout::name(pdk.get()).get());
    debug(py::format("Activated PDK: %U", pdk_name).get());
    return pdk;
}

Ref activate_pdk_by_name(const Context& c) {
    PyObject* name = c.arg(0);
    const Ref pdk_name = contracts::settings::get_pdk_name(c);
    const Ref pdk_name_text = py::text(pdk_name.get());
    const Ref msg = py::format(
        "The given 'name' argument '%U' will be ignored. Using '%U' instead (as configured in "
        "'pyproject.toml').",
        name, pdk_name_text);
    const int same = PyObject_RichCompareBool(pdk_name.get(), name, Py_EQ);
    py::check_status(same);
    PyObject* extra_msg = same ? empty_text.get() : msg.get();
    const Ref message =
        py::format("activate_pdk_by_name is deprecated, use get_pdk() instead. %U", extra_msg);
    contracts::warn(c, message.get(), PyExc_DeprecationWarning);
    return py::call(c.global(get_pdk_name).get());
}

}  // namespace quorin::pdk
