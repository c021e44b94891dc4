#include "pyapi/global_cache.hpp"

#include "pyapi/dict_watch.hpp"
#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {

// A lookup by a `str` key among `str` keys compares nothing with Python code,
// so it can be left out without anyone telling; another key may have an
// `__eq__` of its own, which a lookup must run.
bool only_str_keys(PyObject* dict) noexcept {
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(dict, &pos, &key, &value))
        if (!PyUnicode_CheckExact(key))
            return false;
    return true;
}

bool can_keep(PyObject* dict) noexcept {
    return PyDict_CheckExact(dict) && DictChanges::watch_for_life(dict) && only_str_keys(dict);
}

Ref plain_lookup(PyObject* globals, PyObject* builtins, const Name& name, Where where) {
    if (Ref value = dict_get(globals, name, where))
        return value;
    if (Ref value = getitem_optional(builtins, name, where))
        return value;
    raise(PyExc_NameError, {"name '%U' is not defined", where}, name.get());
}

}  // namespace

Ref GlobalCache::lookup(PyObject* globals, PyObject* builtins, const Name& name, Where where) {
    if (generation_ == DictChanges::generation()) [[likely]] {
        for (std::size_t i = 0; i < used_; ++i) {
            if (entries_[i].first == &name)
                return Ref::borrow(entries_[i].second);
        }
    }
    return lookup_and_keep(globals, builtins, name, where);
}

Ref GlobalCache::lookup_and_keep(PyObject* globals, PyObject* builtins, const Name& name, Where where) {
    if (generation_ != DictChanges::generation()) {
        clear();
        usable_ = can_keep(globals) && can_keep(builtins);
        // Read after watching began.
        generation_ = DictChanges::generation();
    }
    const std::uint64_t before = generation_;
    Ref value = plain_lookup(globals, builtins, name, where);
    if (usable_ && used_ < capacity && DictChanges::generation() == before)
        entries_[used_++] = {&name, value.get()};
    return value;
}

void GlobalCache::clear() noexcept {
    used_ = 0;
    generation_ = ~std::uint64_t{0};
}

}  // namespace quorin::py
