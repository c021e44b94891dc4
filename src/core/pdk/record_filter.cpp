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
    const Ref project_dir = contracts::settings::get_project_dir(c);
    const Ref project_name = contracts::settings::get_project_name(c);
    const Ref project_path = py::check(PyNumber_TrueDivide(project_dir.get(), project_name.get()));
    Ref filtered = py::new_dict();
    py::for_each_item(static_records, [&](PyObject* name, PyObject* record) {
        const Ref source_path = contracts::records::absolute_source(record);
        const bool is_project_cell =
            contracts::paths::relative_to_succeeds(source_path.get(), project_path.get());
        const bool is_base_pdk_cell = py::contains(contracts::layout::cells(base_pdk).get(), name);
        if (is_project_cell || is_base_pdk_cell)
            py::dict_set(filtered.get(), name, record);
    });
    return filtered;
}

}  // namespace quorin::pdk
