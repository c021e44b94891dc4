// `_get_database_updates`: the records to write and the names to delete, from
// the run's records and the stored ones.
#include "contracts/builtins.hpp"
#include "contracts/logger.hpp"
#include "contracts/records.hpp"
#include "core/pdk/functions.hpp"

namespace quorin::pdk {

namespace {
namespace builtins = contracts::builtins;
namespace records = contracts::records;

// `set(a) - set(b)` or `set(a) & set(b)`, the left set made first.
Ref combine(const Context& c, PyObject* a, PyObject* b, binaryfunc operation) {
    const Ref left = builtins::call(c, names::set, a);
    const Ref right = builtins::call(c, names::set, b);
    return py::check(operation(left.get(), right.get()));
}

// `log().info(f"<line>{sorted(names)}")`.
void log_sorted(const Context& c, const char* line, PyObject* names) {
    const auto info = contracts::logger::info(c);
    const Ref names_text = py::text(builtins::call(c, names::sorted, names).get());
    info(py::format(line, names_text).get());
}

// The run's record and the stored record of one name are looked up afresh at
// every use, as `static_records[name]` is: the outside calls in between may
// change the mappings.
bool source_differs(PyObject* static_records, PyObject* present_records, PyObject* name) {
    const Ref static_source = records::source(py::getitem(static_records, name).get());
    const Ref present_source = records::source(py::getitem(present_records, name).get());
    return py::compare(static_source.get(), present_source.get(), Py_NE);
}

bool path_requested(PyObject* static_records, PyObject* name, PyObject* paths) {
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

    const Ref new_record_names = combine(c, static_records, present_records, PyNumber_Subtract);
    log_sorted(c, "new factories: %U", new_record_names.get());
    const Ref new_records = py::new_list();
    py::for_each(new_record_names.get(), [&](PyObject* name) {
        py::list_append(new_records.get(), py::getitem(static_records, name).get());
    });

    const Ref shared_names = combine(c, static_records, present_records, PyNumber_And);
    const Ref updated_records = py::new_list();
    py::for_each(shared_names.get(), [&](PyObject* name) {
        // A moved cell, or one whose file was asked for, is written as the run found it.
        if (source_differs(static_records, present_records, name) ||
            path_requested(static_records, name, paths)) {
            py::list_append(updated_records.get(), py::getitem(static_records, name).get());
            return;
        }
        // Otherwise the stored outcome stands, and only a real change is written.
        take_stored_outcome(static_records, present_records, name);
        if (!records_equal(static_records, present_records, name))
            py::list_append(updated_records.get(), py::getitem(static_records, name).get());
    });
    const Ref updated_record_names = py::new_set();
    py::for_each(updated_records.get(),
                 [&](PyObject* r) { py::set_add(updated_record_names.get(), records::name(r).get()); });
    log_sorted(c, "updated factories: %U", updated_record_names.get());

    const Ref deleted_record_names = combine(c, present_records, static_records, PyNumber_Subtract);
    log_sorted(c, "removed factories: %U", deleted_record_names.get());

    const Ref add = builtins::sorted(
        c, [&] { return py::check(PySequence_Concat(new_records.get(), updated_records.get())); },
        records::name_key().get());
    const Ref remove = builtins::call(c, names::sorted, deleted_record_names.get());
    return py::check(PyTuple_Pack(2, add.get(), remove.get()));
}

}  // namespace quorin::pdk
