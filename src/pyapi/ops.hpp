// The C API operations the module performs, each failing by throwing Error.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

#include <cstdint>
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

// Handles a pending signal where Python code would: when a call returns, and
// at each turn of a loop. Its handler's exception is thrown.
inline void handle_signals(Where where = Where::current()) {
    // As the interpreter checks after a call: only when an event is pending in
    // the low bits of its thread's `eval_breaker` (the interpreter's event mask).
    constexpr std::uintptr_t pending_events = 0xff;
    if ((PyThreadState_GetUnchecked()->eval_breaker & pending_events) != 0) [[unlikely]] {
        if (PyErr_CheckSignals() < 0)
            throw_raised(where);
    }
}

// --- calls (vectorcall; keyword values follow the positional ones) ---------

// What a call gave back, once pending signals are handled.
inline Ref returned(PyObject* result, Where where) {
    Ref value = check(result, where);
    handle_signals(where);
    return value;
}

template <class... Args>
Ref call(At callable, const Args&... args) {
    PyObject* stack[] = {nullptr, raw(args)...};
    return returned(PyObject_Vectorcall(callable.object, stack + 1,
                                        sizeof...(Args) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr),
                    callable.where);
}

// `kwnames` names the last kwnames.size() of `args`.
template <std::size_t N, class... Args>
Ref call_kw(At callable, const NameTuple<N>& kwnames, const Args&... args) {
    static_assert(N <= sizeof...(Args), "a keyword name without a value");
    PyObject* stack[] = {nullptr, raw(args)...};
    const auto npos = Py_ssize_t(sizeof...(Args)) - kwnames.size();
    return returned(PyObject_Vectorcall(callable.object, stack + 1,
                                        size_t(npos) | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()),
                    callable.where);
}

template <class... Args>
Ref call_method(At self, PyObject* name, const Args&... args) {
    PyObject* stack[] = {self.object, raw(args)...};
    return returned(PyObject_VectorcallMethod(name, stack, 1 + sizeof...(Args), nullptr), self.where);
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
inline void setattr(PyObject* o, PyObject* name, PyObject* value, Where where = Where::current()) {
    check_status(PyObject_SetAttr(o, name, value), where);
}

// --- truth, comparison, containers ------------------------------------------

bool truth(PyObject* o, Where where = Where::current());
// `a op b` and its truth value, with no identity shortcut.
bool compare(PyObject* a, PyObject* b, int op, Where where = Where::current());
// `a in container`.
bool contains(PyObject* container, PyObject* item, Where where = Where::current());
// `o[key]` of a mapping, empty when the key is missing (KeyError only).
Ref getitem_optional(PyObject* o, PyObject* key, Where where = Where::current());
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

inline bool dict_contains(PyObject* d, PyObject* key, Where where = Where::current()) {
    const int r = PyDict_Contains(d, key);
    check_status(r, where);
    return r == 1;
}
// `target.update(source)`: the dict fast path where it is exactly equivalent.
void update(PyObject* target, PyObject* source, Where where = Where::current());
// `target.update`, read where reading it can be seen: empty for an exact dict.
Ref update_method(PyObject* target, Where where = Where::current());
// `target.update(source())`: the method is read before its argument is made,
// as Python reads a callee before its arguments.
template <class Source>
void update_with(PyObject* target, Source&& source, Where where = Where::current()) {
    const Ref method = update_method(target, where);
    const Ref value = source();
    if (method)
        call({method.get(), where}, value);
    else
        update(target, value.get(), where);
}

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

// Walks an exact dict as its own iterator does (`for k, v in d.items()`, or
// its values): a change of size ends the walk with "dictionary changed size
// during iteration"; an entry turning up after as many as the dict held at the
// start (keys replaced at the same size) ends it with "dictionary keys changed
// during iteration". Both are checked before each entry and once at the end.
template <class Fn>
void for_each_item(PyObject* dict, Fn&& fn, Where where = Where::current()) {
    const Ref held = Ref::borrow(dict);  // as the iterator holds its dict
    const Py_ssize_t size = PyDict_GET_SIZE(dict);
    Py_ssize_t remaining = size;
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    for (;;) {
        if (PyDict_GET_SIZE(dict) != size) [[unlikely]]
            raise(PyExc_RuntimeError, {"dictionary changed size during iteration", where});
        if (!PyDict_Next(dict, &pos, &key, &value))
            return;
        if (remaining == 0) [[unlikely]]
            raise(PyExc_RuntimeError, {"dictionary keys changed during iteration", where});
        --remaining;
        // The loop body may run Python code that drops the dict's reference.
        const Ref k = Ref::borrow(key);
        const Ref v = Ref::borrow(value);
        fn(k.get(), v.get());
        handle_signals(where);
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
    while (next(it.get(), item, where)) {
        fn(item.get());
        handle_signals(where);
    }
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
