// `get_base_pdk` and the attribute hooks of `FrozenPdk`.
#include "contracts/layout.hpp"
#include "contracts/logger.hpp"
#include "contracts/settings.hpp"
#include "contracts/stdlib.hpp"
#include "core/pdk/functions.hpp"

namespace quorin::pdk {

namespace {
py::Name get_pdk_cached_name{"_get_pdk"};
py::Name wrapped_name{"__wrapped__"};
py::Name dict_name{"__dict__"};
py::Name update_name{"update"};
py::Name class_name{"__class__"};
py::Name frozen_pdk_name{"FrozenPdk"};

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
    const Ref attrs = py::getattr(base_pdk, dict_name);
    auto add = [&](PyObject* k, PyObject* v) { py::setitem(frozen_attrs.get(), k, freeze(c, v).get()); };
    py::for_each_pair(attrs.get(), add);
    return frozen_attrs;
}

}  // namespace

Ref get_base_pdk(const Context& c) {
    const Ref get_pdk_cached = c.global(get_pdk_cached_name);
    Ref pdk = py::call(get_pdk_cached.get());
    if (contracts::settings::is_a_pdk(c))
        return pdk;
    Ref base_pdk = py::call_method(c.global(get_pdk_cached_name).get(), wrapped_name);
    if (base_pdk.is(pdk.get()))
        base_pdk = contracts::copy(c, base_pdk.get());
    const Ref frozen_attrs = frozen_attributes(c, base_pdk.get());
    py::call_method(py::getattr(base_pdk.get(), dict_name).get(), update_name, frozen_attrs);
    py::setattr(base_pdk.get(), class_name, c.global(frozen_pdk_name).get());
    base_pdk = contracts::cast(c, c.global(frozen_pdk_name).get(), base_pdk.get());
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
