#include "pyapi/ops.hpp"
#include "pyapi/identifiers.hpp"

namespace quorin::py {

Ref call_star(PyObject* callable, PyObject* items, Where where) {
    const Ref args = check(PySequence_Tuple(items), where);
    return returned(PyObject_Vectorcall(callable, PySequence_Fast_ITEMS(args.get()),
                                        size_t(PyTuple_GET_SIZE(args.get())), nullptr),
                    where);
}

Ref call_method_items(PyObject* mapping, Where where) {
    return call_method({mapping, where}, names::items);
}

Ref getattr_optional(PyObject* o, PyObject* name, Where where) {
    PyObject* result = nullptr;
    check_status(PyObject_GetOptionalAttr(o, name, &result), where);
    return Ref::steal(result);
}

Ref getitem_optional(PyObject* o, PyObject* key, Where where) {
    PyObject* result = nullptr;
    check_status(PyMapping_GetOptionalItem(o, key, &result), where);
    return Ref::steal(result);
}

bool truth(PyObject* o, Where where) {
    if (o == Py_True)
        return true;
    if (o == Py_False || o == Py_None)
        return false;
    const int r = PyObject_IsTrue(o);
    check_status(r, where);
    return r == 1;
}

bool compare(PyObject* a, PyObject* b, int op, Where where) {
    const Ref result = check(PyObject_RichCompare(a, b, op), where);
    return truth(result.get(), where);
}

bool contains(PyObject* container, PyObject* item, Where where) {
    const int r = PySequence_Contains(container, item);
    check_status(r, where);
    return r == 1;
}

Ref dict_get(PyObject* d, PyObject* key, Where where) {
    PyObject* result = nullptr;
    check_status(PyDict_GetItemRef(d, key, &result), where);
    return Ref::steal(result);
}

void update(PyObject* target, PyObject* source, Where where) {
    if (PyDict_CheckExact(target) && PyDict_CheckExact(source)) {
        check_status(PyDict_Update(target, source), where);
        return;
    }
    call_method({target, where}, names::update, source);
}

Ref update_method(PyObject* target, Where where) {
    return PyDict_CheckExact(target) ? Ref() : getattr(target, names::update, where);
}

bool next(PyObject* iterator, Ref& item, Where where) {
    item = Ref::steal(PyIter_Next(iterator));
    if (item)
        return true;
    if (PyErr_Occurred())
        throw_raised(where);
    return false;
}

namespace {
[[noreturn, gnu::cold]] void raise_unpack_count(Py_ssize_t count, Where where) {
    if (count > 2)
        raise(PyExc_ValueError, {"too many values to unpack (expected %zd)", where}, Py_ssize_t(2));
    raise(PyExc_ValueError, {"need more than %zd value%.1s to unpack", where}, count, count == 1 ? "" : "s");
}
}  // namespace

std::pair<Ref, Ref> unpack2(PyObject* o, Where where) {
    if (PyTuple_CheckExact(o) || PyList_CheckExact(o)) {
        const Py_ssize_t size = Py_SIZE(o);
        if (size != 2)
            raise_unpack_count(size, where);
        PyObject* const* items = PySequence_Fast_ITEMS(o);
        return {Ref::borrow(items[0]), Ref::borrow(items[1])};
    }
    const Ref it = iter(o, where);
    Ref first, second, extra;
    if (!next(it.get(), first, where))
        raise_unpack_count(0, where);
    if (!next(it.get(), second, where))
        raise_unpack_count(1, where);
    if (next(it.get(), extra, where))
        raise_unpack_count(3, where);
    return {std::move(first), std::move(second)};
}

Ref text(PyObject* value, Where where) {
    if (PyUnicode_CheckExact(value))
        return Ref::borrow(value);
    return check(PyObject_Format(value, names::empty_text), where);
}

}  // namespace quorin::py
