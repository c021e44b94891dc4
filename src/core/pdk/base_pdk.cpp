// `get_base_pdk` and the attribute hooks of `FrozenPdk`.
#include "contracts/builtins.hpp"
#include "contracts/frozendict.hpp"
#include "contracts/layout.hpp"
#include "contracts/logger.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"

namespace quorin::pdk {

namespace {
// dicts become frozendicts, lists tuples; anything else stays as it is.
Ref freeze(const Context& c, PyObject* v) {
    namespace builtins = contracts::builtins;
    if (builtins::isinstance(c, v, names::dict))
        return contracts::frozendict(c, v);
    if (builtins::isinstance(c, v, names::list))
        return builtins::call(c, names::tuple, v);
    return Ref::borrow(v);
}

Ref frozen_attributes(const Context& c, PyObject* base_pdk) {
    Ref frozen_attrs = py::new_dict();
    const Ref attrs = contracts::layout::attributes(base_pdk);
    auto add = [&](PyObject* k, PyObject* v) { py::setitem(frozen_attrs.get(), k, freeze(c, v).get()); };
    py::for_each_pair(attrs.get(), add);
    return frozen_attrs;
}

}  // namespace

Ref get_base_pdk(const Context& c) {
    const Ref get_pdk_cached = c.global(names::_get_pdk);
    Ref pdk = py::call(get_pdk_cached.get());
    if (contracts::settings::is_a_pdk(c))
        return pdk;
    Ref base_pdk = contracts::functools::call_wrapped(c.global(names::_get_pdk).get());
    if (base_pdk.is(pdk.get()))
        base_pdk = contracts::copy(c, base_pdk.get());
    const Ref frozen_attrs = frozen_attributes(c, base_pdk.get());
    contracts::layout::update_attributes(base_pdk.get(), frozen_attrs.get());
    contracts::layout::set_class(base_pdk.get(), c.global(names::FrozenPdk).get());
    base_pdk = contracts::cast(c, names::FrozenPdk, base_pdk.get());
    contracts::layout::activate(pdk.get());
    const auto debug = contracts::logger::debug(c);
    const Ref base_pdk_name = py::text(contracts::layout::name(base_pdk.get()).get());
    debug(py::format("Froze base PDK: %U", base_pdk_name).get());
    return base_pdk;
}

Ref frozen_pdk_refuse_change(const Context& c) {
    contracts::builtins::raise(c, names::AttributeError, py::new_str("Frozen PDK cannot be modified.").get());
}

}  // namespace quorin::pdk
