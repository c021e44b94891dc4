#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {
Name update_name{"update"};
Name empty_str{""};
Name items_name{"items"};
}  // namespace

Ref call_star(PyObject* callable, PyObject* items) {
    const Ref args = check(PySequence_Tuple(items));
    return check(PyObject_Vectorcall(callable, PySequence_Fast_ITEMS(args.get()),
                                     size_t(PyTuple_GET_SIZE(args.get())), nullptr));
}

Ref call_method_items(PyObject* mapping) {
    return call_method(mapping, items_name);
}

Ref getattr_optional(PyObject* o, PyObject* name) {
    PyObject* result = nullptr;
    check_status(PyObject_GetOptionalAttr(o, name, &result));
    return Ref::steal(result);
}

bool hasattr(PyObject* o, PyObject* name) {
    const int r = PyObject_HasAttrWithError(o, name);
    check_status(r);
    return r == 1;
}

bool truth(PyObject* o) {
    if (o == Py_True)
        return true;
    if (o == Py_False || o == Py_None)
        return false;
    const int r = PyObject_IsTrue(o);
    check_status(r);
    return r == 1;
}

bool compare(PyObject* a, PyObject* b, int op) {
    const Ref result = check(PyObject_RichCompare(a, b, op));
    return truth(result.get());
}

bool contains(PyObject* container, PyObject* item) {
    const int r = PySequence_Contains(container, item);
    check_status(r);
    return r == 1;
}

Ref dict_get(PyObject* d, PyObject* key) {
    PyObject* result = nullptr;
    check_status(PyDict_GetItemRef(d, key, &result));
    return Ref::steal(result);
}

Ref dict_get(PyObject* d, PyObject* key, HashMemo& memo) {
    const Py_hash_t hash = memo.hash(key);
    PyObject* value = _PyDict_GetItem_KnownHash(d, key, hash);  // borrowed
    if (value == nullptr && PyErr_Occurred())
        throw_raised();
    return Ref::borrow(value);
}

void update(PyObject* target, PyObject* source) {
    if (PyDict_CheckExact(target) && PyDict_CheckExact(source)) {
        check_status(PyDict_Update(target, source));
        return;
    }
    call_method(target, update_name, source);
}

bool next(PyObject* iterator, Ref& item) {
    item = Ref::steal(PyIter_Next(iterator));
    if (item)
        return true;
    if (PyErr_Occurred())
        throw_raised();
    return false;
}

namespace {
[[noreturn, gnu::cold]] void raise_unpack_count(Py_ssize_t count) {
    if (count > 2)
        raise(PyExc_ValueError, "too many values to unpack (expected %zd)", Py_ssize_t(2));
    raise(PyExc_ValueError, "need more than %zd value%.1s to unpack", count, count == 1 ? "" : "s");
}
}  // namespace

std::pair<Ref, Ref> unpack2(PyObject* o) {
    if (PyTuple_CheckExact(o) || PyList_CheckExact(o)) {
        const Py_ssize_t size = Py_SIZE(o);
        if (size != 2)
            raise_unpack_count(size);
        PyObject* const* items = PySequence_Fast_ITEMS(o);
        return {Ref::borrow(items[0]), Ref::borrow(items[1])};
    }
    const Ref it = iter(o);
    Ref first, second, extra;
    if (!next(it.get(), first))
        raise_unpack_count(0);
    if (!next(it.get(), second))
        raise_unpack_count(1);
    if (next(it.get(), extra))
        raise_unpack_count(3);
    return {std::move(first), std::move(second)};
}

Ref text(PyObject* value) {
    if (PyUnicode_CheckExact(value))
        return Ref::borrow(value);
    return check(PyObject_Format(value, empty_str));
}

Ref join(std::initializer_list<PyObject*> parts) {
    Ref result = check(PyUnicode_New(0, 0));
    for (PyObject* part : parts)
        result = check(PyUnicode_Concat(result.get(), part));
    return result;
}

}  // namespace quorin::py
