// `get_pdk` and the deprecated `activate_pdk_by_name`.
#include "contracts/builtins.hpp"
#include "contracts/layout.hpp"
#include "contracts/logger.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

Ref get_pdk(const Context& c) {
    py::call(c.global(names::get_base_pdk).get());
    Ref pdk = py::call(c.global(names::_get_pdk).get());
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
    PyObject* extra_msg = same ? names::empty_text.get() : msg.get();
    const Ref message =
        py::format("activate_pdk_by_name is deprecated, use get_pdk() instead. %U", extra_msg);
    contracts::warn(c, message.get(), c.global(names::DeprecationWarning).get());
    return py::call(c.global(names::get_pdk).get());
}

}  // namespace quorin::pdk
