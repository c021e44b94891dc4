// `_get_database_updates`: the records to write and the names to delete, from
// the run's records and the stored ones.
#include "contracts/logger.hpp"
#include "contracts/records.hpp"
#include "core/pdk/functions.hpp"
#include "pyapi/dict_watch.hpp"
#include "pyapi/sort.hpp"

namespace quorin::pdk {

namespace {
namespace records = contracts::records;

// `set(static_records)` and `set(present_records)`, made with the interpreter's
// own set operations: the iteration order of what is made from them decides
// which records are visited first, and which comparisons a sort makes. While
// neither mapping has changed and all keys are exact `str`, new sets would be
// equal to the last ones, in the same order, and making them could run no
// Python code, so the last ones are used again.
struct KeySet {
    PyObject* dict;
    Ref keys;
};

Ref key_set(KeySet& k, const py::DictChanges& changes) {
    if (!k.keys || !changes.unchanged_str_keys())
        k.keys = py::check(PySet_New(k.dict));
    return k.keys;
}

// `set(a) - set(b)` or `set(a) & set(b)`, the left set made first.
Ref combine(KeySet& a, KeySet& b, const py::DictChanges& changes, binaryfunc operation) {
    const Ref left = key_set(a, changes);
    const Ref right = key_set(b, changes);
    return py::check(operation(left.get(), right.get()));
}

// `sorted(names)` where `names` is the set of keys of `dict` that the key set
// `other_keys` lacks. Exact `str` keys have one order and compare without
// effects, so while the mappings are as they were when the sets were made, the
// same list follows from the keys in the mapping's own order, which is often
// sorted already (stored records come by name) and then sorts in one pass.
Ref sorted_difference(PyObject* names, PyObject* dict, const KeySet& other_keys,
                      const py::DictChanges& changes) {
    if (!changes.unchanged_str_keys())
        return py::sorted(names);
    Ref keys = py::new_list();
    py::for_each_item(dict, [&](PyObject* key, PyObject*) {
        const int in_other = PySet_Contains(other_keys.keys.get(), key);
        py::check_status(in_other);
        if (!in_other)
            py::list_append(keys.get(), key);
    });
    py::sort(keys.get());
    return keys;
}

// `log().info(<line> % str(sorted_names()))`; returns the sorted list.
template <class SortedNames>
Ref log_sorted(const Context& c, const char* line, SortedNames&& sorted_names) {
    const auto info = contracts::logger::info(c);
    Ref sorted = sorted_names();
    const Ref names_text = py::str(sorted.get());
    info(py::format(line, names_text).get());
    return sorted;
}

// The run's record S and the stored record P of one name, each looked up
// afresh at every use: the outside calls in between may change the mappings.

bool source_differs(py::FreshItem& s, py::FreshItem& p) {
    const Ref static_source = records::source(s.get().get());
    const Ref present_source = records::source(p.get().get());
    return py::compare(static_source.get(), present_source.get(), Py_NE);
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
    // Lets a record be used again where a new lookup could only give it back.
    const py::DictChanges changes{static_records, present_records};

    KeySet static_keys{.dict = static_records, .keys = Ref()};
    KeySet present_keys{.dict = present_records, .keys = Ref()};
    const Ref new_record_names = combine(static_keys, present_keys, changes, PyNumber_Subtract);
    log_sorted(c, "new factories: %U", [&] {
        return sorted_difference(new_record_names.get(), static_records, present_keys, changes);
    });
    const Ref new_records = py::new_list();
    py::for_each(new_record_names.get(), [&](PyObject* name) {
        py::list_append(new_records.get(), py::getitem(static_records, name).get());
    });

    const Ref shared_names = combine(static_keys, present_keys, changes, PyNumber_And);
    const Ref updated_records = py::new_list();
    py::for_each(shared_names.get(), [&](PyObject* name) {
        py::FreshItem s{static_records, name, changes};
        py::FreshItem p{present_records, name, changes};
        // A moved cell, or one whose file was asked for, is written as the run found it.
        if (source_differs(s, p) || path_requested(s, paths)) {
            py::list_append(updated_records.get(), s.get().get());
            return;
        }
        // Otherwise the stored outcome stands, and only a real change is written.
        take_stored_outcome(s, p);
        if (!records_equal(s, p))
            py::list_append(updated_records.get(), s.get().get());
    });
    const Ref updated_record_names = py::new_set();
    py::for_each(updated_records.get(),
                 [&](PyObject* r) { py::set_add(updated_record_names.get(), records::name(r).get()); });
    log_sorted(c, "updated factories: %U", [&] { return py::sorted(updated_record_names.get()); });

    const Ref deleted_record_names = combine(present_keys, static_keys, changes, PyNumber_Subtract);
    log_sorted(c, "removed factories: %U", [&] {
        return sorted_difference(deleted_record_names.get(), present_records, static_keys, changes);
    });

    const Ref add = py::check(PySequence_Concat(new_records.get(), updated_records.get()));
    records::sort_by_name(add.get());
    const Ref remove = py::sorted(deleted_record_names.get());
    return py::check(PyTuple_Pack(2, add.get(), remove.get()));
}

}  // namespace quorin::pdk
