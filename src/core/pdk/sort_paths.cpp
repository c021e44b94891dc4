// `_sort_paths`: the order in which a run's source files are imported.
#include "contracts/builtins.hpp"
#include "contracts/paths.hpp"
#include "core/pdk/functions.hpp"
#include "core/pdk/identifiers.hpp"
#include "core/pdk/surface.hpp"

namespace quorin::pdk {

namespace builtins = contracts::builtins;

// `(len(p.parts), len(str(p)), str(p))`.
Ref sort_key(const Context& c) {
    PyObject* const p = c.arg(0);
    const Ref depth = builtins::call(c, names::len, [&] { return contracts::paths::parts(p); });
    const Ref length = builtins::call(c, names::len, [&] { return builtins::call(c, names::str, p); });
    const Ref text = builtins::call(c, names::str, p);
    return py::check(PyTuple_Pack(3, depth.get(), length.get(), text.get()));
}

namespace {
// What each `_sort_key` is made from, made once.
py::Name sort_key_name{"_sort_key"};
py::Name sort_key_qualname{"_sort_paths.<locals>._sort_key"};
RowAnnotations sort_key_annotations{sort_key_row};
}  // namespace

Ref sort_paths(const Context& c) {
    // Defined afresh at each call, as a nested `def` is.
    const Ref _sort_key = py::new_function({.def = &sort_key_row.def,
                                            .name = sort_key_name,
                                            .qualname = sort_key_qualname,
                                            .module_name = names::quorin_core_pdk,
                                            .doc = Py_None,
                                            .annotations = nullptr,
                                            .annotations_template = sort_key_annotations.get(),
                                            .globals = c.globals(),
                                            .closure = nullptr});
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
