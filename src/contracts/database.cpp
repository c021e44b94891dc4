#include "contracts/database.hpp"

namespace quorin::pdk::contracts::database {

namespace {
py::Name db_name{"db"};
py::Name by_name_name{"get_factories_by_name"};
py::Name by_source_name{"get_factories_by_source"};
py::Name all_name{"get_all_factories"};
py::Name update_name{"update_factories"};
py::NameTuple kw_update{"add", "remove"};

Ref function(const Context& c, const py::Name& name) {
    return py::getattr(c.global(db_name).get(), name);
}
}  // namespace

Ref get_factories_by_name(const Context& c, PyObject* names) {
    return py::call_star(function(c, by_name_name).get(), names);
}
Ref get_factories_by_source(const Context& c, PyObject* paths) {
    return py::call_star(function(c, by_source_name).get(), paths);
}
Ref get_all_factories(const Context& c) {
    return py::call(function(c, all_name).get());
}
void update_factories(const Context& c, PyObject* add, PyObject* remove) {
    py::call_kw(function(c, update_name).get(), kw_update, add, remove);
}

}  // namespace quorin::pdk::contracts::database
