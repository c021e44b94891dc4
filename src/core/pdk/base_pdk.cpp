// `get_base_pdk` and the attribute hooks of `FrozenPdk`.
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
    if (PyDict_Check(v))
        return contracts::layout::frozendict(c, v);
    if (PyList_Check(v))
        return py::check(PySequence_Tuple(v));
    return Ref::borrow(v);
}

Ref frozen_attributes(const Context& c, PyObject* base_pdk) {
    Ref frozen_attrs = py::new_dict();
    const Ref attrs = py::getattr(base_pdk, names::dunder_dict);
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
    Ref base_pdk = py::call_method(c.global(names::_get_pdk).get(), names::dunder_wrapped);
    if (base_pdk.is(pdk.get()))
        base_pdk = contracts::copy(c, base_pdk.get());
    const Ref frozen_attrs = frozen_attributes(c, base_pdk.get());
    py::call_method(py::getattr(base_pdk.get(), names::dunder_dict).get(), names::update, frozen_attrs);
    py::setattr(base_pdk.get(), names::dunder_class, c.global(names::FrozenPdk).get());
    base_pdk = contracts::cast(c, c.global(names::FrozenPdk).get(), base_pdk.get());
    contracts::layout::activate(pdk.get());
    const auto debug = contracts::logger::debug(c);
    const Ref base_pdk_name = py::text(contracts::layout::name(base_pdk.get()).get());
    debug(py::format("Froze base PDK: %U", base_pdk_name).get());
    return base_pdk;
}

Ref frozen_pdk_refuse_change(const Context&) {
    py::raise(PyExc_AttributeError, "Frozen PDK cannot be modified.");
}

}  // namespace quorin::pdk
