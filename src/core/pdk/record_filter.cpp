// `_filter_records_for_non_pdk_project`: a project that is not a PDK keeps its
// own cells and the base PDK's.
#include "contracts/layout.hpp"
#include "contracts/paths.hpp"
#include "contracts/records.hpp"
#include "contracts/settings.hpp"
#include "core/pdk/functions.hpp"

namespace quorin::pdk {

Ref filter_records_for_non_pdk_project(const Context& c) {
    PyObject* const static_records = c.arg(0);
    PyObject* const base_pdk = c.arg(1);
    Ref project_dir = contracts::settings::get_project_dir(c);
    Ref project_name = contracts::settings::get_project_name(c);
    Ref project_path = py::check(PyNumber_TrueDivide(project_dir.get(), project_name.get()));
    Ref filtered = py::new_dict();
    Ref name, record, source_path;
    py::for_each_item(static_records, [&](PyObject* key, PyObject* value) {
        name = Ref::borrow(key);
        record = Ref::borrow(value);
        source_path = contracts::records::absolute_source(record.get());
        const bool is_project_cell =
            contracts::paths::relative_to_succeeds(c, source_path.get(), project_path.get());
        const bool is_base_pdk_cell = py::contains(contracts::layout::cells(base_pdk).get(), name.get());
        if (is_project_cell || is_base_pdk_cell)
            py::dict_set(filtered.get(), name.get(), record.get());
    });
    py::release_in_order(project_dir, project_name, project_path, name, record, source_path);
    return filtered;
}

}  // namespace quorin::pdk
