// quorin.core.database, through the global `db`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::database {

// Each item of `names` (a list) as one positional argument.
Ref get_factories_by_name(const Context& c, PyObject* names);
// Each item of `paths` (a list) as one positional argument.
Ref get_factories_by_source(const Context& c, PyObject* paths);
// `for names in source_names_map.values()` over what `get_factories_by_source`
// answers: the exact-dict loop where it is the same.
template <class Fn>
void for_each_names(PyObject* source_names_map, Fn&& fn) {
    if (PyDict_CheckExact(source_names_map)) {
        py::for_each_item(source_names_map, [&](PyObject*, PyObject* names) { fn(names); });
        return;
    }
    const Ref values = py::call_method(source_names_map, names::values);
    py::for_each(values.get(), fn);
}
Ref get_all_factories(const Context& c);
void update_factories(const Context& c, PyObject* add, PyObject* remove);

}  // namespace quorin::pdk::contracts::database
