// `_sort_paths`: the order in which a run's source files are imported.
#include "contracts/builtins.hpp"
#include "contracts/paths.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/globals.hpp"
#include "core/pdk/surface.hpp"

namespace quorin::pdk {

namespace builtins = contracts::builtins;

// `(len(p.parts), len(str(p)), str(p))`.
Ref sort_key(const Context& c) {
    PyObject* const p = c.arg(0);
    const Ref depth = builtins::len(c, [&] { return contracts::paths::parts(p); });
    const Ref length = builtins::len(c, [&] { return builtins::str(c, p); });
    const Ref text = builtins::str(c, p);
    return py::check(PyTuple_Pack(3, depth.get(), length.get(), text.get()));
}

Ref sort_paths(const Context& c) {
    const Ref _sort_key = new_function(c.globals(), sort_key_row);
    auto resolved = [&] {
        Ref list = py::new_list();
        py::for_each(c.arg(0), [&](PyObject* p) {
            py::list_append(list.get(), contracts::paths::resolve(contracts::paths::path(c, p).get()).get());
        });
        return list;
    };
    return builtins::sorted(c, resolved, _sort_key.get());
}

}  // namespace quorin::pdk
