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
py::Name activated_prefix{"Activated PDK: "};
py::Name deprecated_text{"activate_pdk_by_name is deprecated, use get_pdk() instead. "};
py::Name ignored_text_1{"The given 'name' argument '"};
py::Name ignored_text_2{"' will be ignored. Using '"};
py::Name ignored_text_3{"' instead (as configured in 'pyproject.toml')."};
py::Name empty_text{""};
}  // namespace

Ref get_pdk(const Context& c) {
    py::call(c.global(get_base_pdk_name).get());
    Ref pdk = py::call(c.global(get_pdk_cached_name).get());
    contracts::layout::activate(pdk.get());
    const auto debug = contracts::logger::debug(c);
    debug(py::join({activated_prefix, py::text(contracts::layout::name(pdk.get()).get()).get()}).get());
    return pdk;
}

Ref activate_pdk_by_name(const Context& c) {
    PyObject* name = c.arg(0);
    const Ref pdk_name = contracts::settings::get_pdk_name(c);
    const Ref msg =
        py::join({ignored_text_1, name, ignored_text_2, py::text(pdk_name.get()).get(), ignored_text_3});
    const int same = PyObject_RichCompareBool(pdk_name.get(), name, Py_EQ);
    py::check_status(same);
    PyObject* extra_msg = same ? empty_text.get() : msg.get();
    contracts::warn(c, py::join({deprecated_text, extra_msg}).get(), PyExc_DeprecationWarning);
    return py::call(c.global(get_pdk_name).get());
}

}  // namespace quorin::pdk
