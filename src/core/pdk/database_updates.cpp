// `_get_database_updates`: the records to write and the names to delete, from
// the run's records and the stored ones.
#include "contracts/callgraph.hpp"
#include "contracts/logger.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/dict_watch.hpp"
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

// Names of the run's mapping, with the records a lookup found for them.
struct Entries {
    Ref names = py::new_list();
    Ref static_records = py::new_list();
    Ref present_records = py::new_list();  // for shared names only
};

// The run's names that the stored mapping lacks, and those it has, in one
// pass over the run's mapping.
std::pair<Entries, Entries> split_entries(PyObject* static_records, PyObject* present_records) {
    Entries only;
    Entries both;
    py::for_each_item(static_records, [&](PyObject* name, PyObject* static_record) {
        const Ref present_record = py::dict_get(present_records, name);
        Entries& entries = present_record ? both : only;
        py::list_append(entries.names.get(), name);
        py::list_append(entries.static_records.get(), static_record);
        if (present_record)
            py::list_append(entries.present_records.get(), present_record.get());
    });
    return {std::move(only), std::move(both)};
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

// `i`-th item of a list that only this function holds.
PyObject* at(const Ref& list, Py_ssize_t i) {
    return PyList_GET_ITEM(list.get(), i);
}

// The run's record S and the stored record P of one name, each looked up
// afresh at every use: the outside calls in between may change the mappings.

bool source_differs(py::FreshItem& s, py::FreshItem& p) {
    const Ref static_source = records::source(s.get().get());
    const Ref present_source = records::source(p.get().get());
    return py::not_equal(static_source.get(), present_source.get());
}

bool path_requested(py::FreshItem& s, PyObject* paths) {
    const Ref path = records::absolute_source(s.get().get());
    return py::contains(paths, path.get());
}

void take_stored_outcome(py::FreshItem& s, py::FreshItem& p) {
    const Ref status = records::status(p.get().get());
    records::set_status(s.get().get(), status.get());
    const Ref message = records::message(p.get().get());
    records::set_message(s.get().get(), message.get());
}

bool records_equal(py::FreshItem& s, py::FreshItem& p) {
    const Ref static_record = s.get();
    const Ref present_record = p.get();
    return py::compare(static_record.get(), present_record.get(), Py_EQ);
}

}  // namespace

Ref get_database_updates(const Context& c) {
    PyObject* const static_records = c.arg(0);
    PyObject* const present_records = c.arg(1);
    PyObject* const paths = c.arg(2);

    // Records found while the names are split are used again for as long as
    // neither mapping changes.
    const py::DictChanges changes{static_records, present_records};
    const std::uint64_t split_at = py::DictChanges::generation();
    const auto [fresh, shared] = split_entries(static_records, present_records);
    log_sorted(c, new_factories, py::check(PySequence_List(fresh.names.get())).get());
    const Ref new_records = py::new_list();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(fresh.names.get()); ++i) {
        py::FreshItem s{static_records, at(fresh.names, i), changes, at(fresh.static_records, i), split_at};
        py::list_append(new_records.get(), s.get().get());
    }

    const Ref updated_records = py::new_list();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(shared.names.get()); ++i) {
        PyObject* const name = at(shared.names, i);
        py::FreshItem s{static_records, name, changes, at(shared.static_records, i), split_at};
        py::FreshItem p{present_records, name, changes, at(shared.present_records, i), split_at};
        // A moved cell, or one whose file was asked for, is written as the run found it.
        if (source_differs(s, p) || path_requested(s, paths)) {
            py::list_append(updated_records.get(), s.get().get());
            continue;
        }
        // Otherwise the stored outcome stands, and only a real change is written.
        take_stored_outcome(s, p);
        if (!records_equal(s, p))
            py::list_append(updated_records.get(), s.get().get());
    }
    const Ref updated_record_names = py::new_set();
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
