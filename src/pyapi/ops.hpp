// The C API operations the module performs, each failing by throwing Error.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

#include <utility>

namespace quorin::py {

inline PyObject* raw(PyObject* p) noexcept {
    return p;
}
inline PyObject* raw(const Ref& r) noexcept {
    return r.get();
}
inline PyObject* raw(const Constant& c) noexcept {
    return c.get();
}

// --- calls (vectorcall; keyword values follow the positional ones) ---------

template <class... Args>
Ref call(At callable, const Args&... args) {
    PyObject* stack[] = {nullptr, raw(args)...};
    return check(PyObject_Vectorcall(callable.object, stack + 1,
                                     sizeof...(Args) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr),
                 callable.where);
}

// `kwnames` names the last kwnames.size() of `args`.
template <std::size_t N, class... Args>
Ref call_kw(At callable, const NameTuple<N>& kwnames, const Args&... args) {
    static_assert(N <= sizeof...(Args), "a keyword name without a value");
    PyObject* stack[] = {nullptr, raw(args)...};
    const auto npos = Py_ssize_t(sizeof...(Args)) - kwnames.size();
    return check(PyObject_Vectorcall(callable.object, stack + 1,
                                     size_t(npos) | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()),
                 callable.where);
}

template <class... Args>
Ref call_method(At self, PyObject* name, const Args&... args) {
    PyObject* stack[] = {self.object, raw(args)...};
    return check(PyObject_VectorcallMethod(name, stack, 1 + sizeof...(Args), nullptr), self.where);
}

// `mapping.items()`.
Ref call_method_items(PyObject* mapping, Where where = Where::current());

// Calls with every item of `items` as a separate positional argument.
Ref call_star(PyObject* callable, PyObject* items, Where where = Where::current());

// --- attributes -------------------------------------------------------------

inline Ref getattr(PyObject* o, PyObject* name, Where where = Where::current()) {
    return check(PyObject_GetAttr(o, name), where);
}
// Empty when the attribute is missing (AttributeError only).
Ref getattr_optional(PyObject* o, PyObject* name, Where where = Where::current());
bool hasattr(PyObject* o, PyObject* name, Where where = Where::current());
inline void setattr(PyObject* o, PyObject* name, PyObject* value, Where where = Where::current()) {
    check_status(PyObject_SetAttr(o, name, value), where);
}

// --- truth, comparison, containers ------------------------------------------

bool truth(PyObject* o, Where where = Where::current());
// `a op b` and its truth value, with no identity shortcut.
bool compare(PyObject* a, PyObject* b, int op, Where where = Where::current());
// `a in container`.
bool contains(PyObject* container, PyObject* item, Where where = Where::current());
inline Ref getitem(PyObject* o, PyObject* key, Where where = Where::current()) {
    return check(PyObject_GetItem(o, key), where);
}
inline void delitem(PyObject* o, PyObject* key, Where where = Where::current()) {
    check_status(PyObject_DelItem(o, key), where);
}
inline void setitem(PyObject* o, PyObject* key, PyObject* v, Where where = Where::current()) {
    check_status(PyObject_SetItem(o, key, v), where);
}

// --- dict and list ------------------------------------------------------------

inline Ref new_dict(Where where = Where::current()) {
    return check(PyDict_New(), where);
}
inline void dict_set(PyObject* d, PyObject* key, PyObject* v, Where where = Where::current()) {
    check_status(PyDict_SetItem(d, key, v), where);
}
// Empty when `key` is absent.
Ref dict_get(PyObject* d, PyObject* key, Where where = Where::current());

// `hash(key)` for a run of lookups that often repeat the same key object: the
// hash of the object last asked about is given again without calling its
// `__hash__`, since a hashable object's hash never changes while it lives.
class HashMemo {
public:
    Py_hash_t hash(PyObject* key, Where where = Where::current()) {
        if (key != last_.get()) {
            const Py_hash_t h = PyObject_Hash(key);
            if (h == -1)
                throw_raised(where);
            last_ = Ref::borrow(key);
            hash_ = h;
        }
        return hash_;
    }

private:
    Ref last_;  // held, so that its address cannot be reused meanwhile
    Py_hash_t hash_ = -1;
};

// `d.get(key)` on an exact dict, empty when `key` is absent, with the key's
// hash taken from `memo`.
Ref dict_get(PyObject* d, PyObject* key, HashMemo& memo, Where where = Where::current());
inline bool dict_contains(PyObject* d, PyObject* key, Where where = Where::current()) {
    const int r = PyDict_Contains(d, key);
    check_status(r, where);
    return r == 1;
}
// `target.update(source)`: the dict fast path where it is exactly equivalent.
void update(PyObject* target, PyObject* source, Where where = Where::current());

inline Ref new_list(Py_ssize_t size = 0, Where where = Where::current()) {
    return check(PyList_New(size), where);
}
inline void list_append(PyObject* l, PyObject* v, Where where = Where::current()) {
    check_status(PyList_Append(l, v), where);
}
inline Ref new_set(Where where = Where::current()) {
    return check(PySet_New(nullptr), where);
}
inline void set_add(PyObject* s, PyObject* v, Where where = Where::current()) {
    check_status(PySet_Add(s, v), where);
}

// Iterates an exact dict like `for k, v in d.items()`, raising RuntimeError
// when the dict changes size during the loop.
template <class Fn>
void for_each_item(PyObject* dict, Fn&& fn, Where where = Where::current()) {
    const Py_ssize_t size = PyDict_GET_SIZE(dict);
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        // The loop body may run Python code that drops the dict's reference.
        const Ref k = Ref::borrow(key);
        const Ref v = Ref::borrow(value);
        fn(k.get(), v.get());
        if (PyDict_GET_SIZE(dict) != size) [[unlikely]]
            raise(PyExc_RuntimeError, {"dictionary changed size during iteration", where});
    }
}

// --- iteration ------------------------------------------------------------

inline Ref iter(PyObject* o, Where where = Where::current()) {
    return check(PyObject_GetIter(o), where);
}
// False at the end of the iteration.
bool next(PyObject* iterator, Ref& item, Where where = Where::current());
template <class Fn>
void for_each(PyObject* iterable, Fn&& fn, Where where = Where::current()) {
    const Ref it = iter(iterable, where);
    Ref item;
    while (next(it.get(), item, where))
        fn(item.get());
}
// Unpacks any iterable of exactly two items.
std::pair<Ref, Ref> unpack2(PyObject* o, Where where = Where::current());

// `for k, v in mapping.items()`: the exact-dict loop where it is equivalent.
template <class Fn>
void for_each_pair(PyObject* mapping, Fn&& fn, Where where = Where::current()) {
    if (PyDict_CheckExact(mapping)) {
        for_each_item(mapping, fn, where);
        return;
    }
    const Ref items = call_method_items(mapping, where);
    for_each(
        items.get(),
        [&](PyObject* item) {
            const auto [k, v] = unpack2(item, where);
            fn(k.get(), v.get());
        },
        where);
}

// --- text -----------------------------------------------------------------

// `format(value, "")`; a `str` is taken unchanged.
Ref text(PyObject* value, Where where = Where::current());
inline Ref str(PyObject* value, Where where = Where::current()) {
    return check(PyObject_Str(value), where);
}
inline Ref new_str(const char* s, Where where = Where::current()) {
    return check(PyUnicode_FromString(s), where);
}
// A text made from one format (`PyUnicode_FromFormat`), so that a search for a
// message finds the line that makes it; each `%U` takes a `str`.
template <class... Args>
Ref format(FormatAt text, const Args&... args) {
    return check(PyUnicode_FromFormat(text.text, raw(args)...), text.where);
}

// --- modules and globals --------------------------------------------------

inline Ref import(const char* name, Where where = Where::current()) {
    return check(PyImport_ImportModule(name), where);
}
inline Ref import(PyObject* name, Where where = Where::current()) {
    return check(PyImport_Import(name), where);
}

}  // namespace quorin::py
