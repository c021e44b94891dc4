#include "contracts/database.hpp"

namespace quorin::pdk::contracts::database {

namespace {
Ref function(const Context& c, const py::Name& name) {
    return py::getattr(c.global(names::db).get(), name);
}
}  // namespace

Ref get_factories_by_name(const Context& c, PyObject* names) {
    return py::call_star(function(c, names::get_factories_by_name).get(), names);
}
Ref get_factories_by_source(const Context& c, PyObject* paths) {
    return py::call_star(function(c, names::get_factories_by_source).get(), paths);
}
Ref get_all_factories(const Context& c) {
    return py::call(function(c, names::get_all_factories).get());
}
void update_factories(const Context& c, PyObject* add, PyObject* remove) {
    py::call_kw(function(c, names::update_factories).get(), names::kw_add_remove, add, remove);
}

}  // namespace quorin::pdk::contracts::database
