// `_get_database_updates`: the records to write and the names to delete, from
// the run's records and the stored ones.
#include "contracts/callgraph.hpp"
#include "contracts/logger.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/sort.hpp"
#include "pyapi/strings.hpp"

namespace quorin::pdk {

namespace {
namespace records = contracts::records;

py::Name name_attr{"name"};
py::Name new_factories{"new factories: "};
py::Name updated_factories{"updated factories: "};
py::Name removed_factories{"removed factories: "};

// The keys of `dict` that are (or are not) keys of `other`, in `dict`'s order.
// Lists stand for the sets of names: every one is sorted, or only decides the
// order of the record accesses, before its order could be seen.
Ref keys_where(PyObject* dict, PyObject* other, bool in_other) {
    Ref keys = py::new_list();
    py::for_each_item(dict, [&](PyObject* key, PyObject*) {
        if (py::dict_contains(other, key) == in_other)
            py::list_append(keys.get(), key);
    });
    return keys;
}

// Sorts `names` in place and logs `prefix` followed by their text.
void log_sorted(const Context& c, PyObject* prefix, PyObject* names) {
    const auto info = contracts::logger::info(c);
    py::sort(names);
    info(py::join({prefix, py::str(names).get()}).get());
}

template <class Fn>
void for_each_in_list(PyObject* list, Fn&& fn) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
        const Ref item = Ref::borrow(PyList_GET_ITEM(list, i));
        fn(item.get());
    }
}

// Both records are looked up afresh at every use, as the outside calls in
// between may change the mappings.

bool source_differs(PyObject* static_records, PyObject* present_records, PyObject* name) {
    const Ref static_source = records::source(py::getitem(static_records, name).get());
    const Ref present_source = records::source(py::getitem(present_records, name).get());
    return py::not_equal(static_source.get(), present_source.get());
}

bool path_requested(PyObject* static_records, PyObject* paths, PyObject* name) {
    const Ref path = records::absolute_source(py::getitem(static_records, name).get());
    return py::contains(paths, path.get());
}

void take_stored_outcome(PyObject* static_records, PyObject* present_records, PyObject* name) {
    const Ref status = records::status(py::getitem(present_records, name).get());
    records::set_status(py::getitem(static_records, name).get(), status.get());
    const Ref message = records::message(py::getitem(present_records, name).get());
    records::set_message(py::getitem(static_records, name).get(), message.get());
}

bool records_equal(PyObject* static_records, PyObject* present_records, PyObject* name) {
    const Ref static_record = py::getitem(static_records, name);
    const Ref present_record = py::getitem(present_records, name);
    return py::compare(static_record.get(), present_record.get(), Py_EQ);
}

}  // namespace

Ref get_database_updates(const Context& c) {
    PyObject* const static_records = c.arg(0);
    PyObject* const present_records = c.arg(1);
    PyObject* const paths = c.arg(2);

    const Ref new_record_names = keys_where(static_records, present_records, false);
    log_sorted(c, new_factories, new_record_names.get());
    const Ref new_records = py::new_list();
    for_each_in_list(new_record_names.get(), [&](PyObject* name) {
        py::list_append(new_records.get(), py::getitem(static_records, name).get());
    });

    Ref updated_record_names = keys_where(static_records, present_records, true);
    const Ref updated_records = py::new_list();
    for_each_in_list(updated_record_names.get(), [&](PyObject* name) {
        // A moved cell, or one whose file was asked for, is written as the run found it.
        if (source_differs(static_records, present_records, name) ||
            path_requested(static_records, paths, name)) {
            py::list_append(updated_records.get(), py::getitem(static_records, name).get());
            return;
        }
        // Otherwise the stored outcome stands, and only a real change is written.
        take_stored_outcome(static_records, present_records, name);
        if (!records_equal(static_records, present_records, name))
            py::list_append(updated_records.get(), py::getitem(static_records, name).get());
    });
    updated_record_names = py::new_set();
    for_each_in_list(updated_records.get(),
                     [&](PyObject* r) { py::set_add(updated_record_names.get(), records::name(r).get()); });
    log_sorted(c, updated_factories, py::check(PySequence_List(updated_record_names.get())).get());

    const Ref deleted_record_names = keys_where(present_records, static_records, false);
    log_sorted(c, removed_factories, deleted_record_names.get());

    const Ref add = py::check(PySequence_Concat(new_records.get(), updated_records.get()));
    py::sort_by_attribute(add.get(), name_attr);
    const Ref& remove = deleted_record_names;
    return py::check(PyTuple_Pack(2, add.get(), remove.get()));
}

}  // namespace quorin::pdk
