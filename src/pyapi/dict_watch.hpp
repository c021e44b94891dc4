// Dict items read afresh at every use, without a lookup where none is needed.
#pragma once

#include "pyapi/fast_paths.hpp"
#include "pyapi/ref.hpp"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quorin::py {

// While alive, has the interpreter report every change to the given dicts,
// whoever makes it. Scopes may nest and may watch the same dict.
class DictChanges {
public:
    explicit DictChanges(std::initializer_list<PyObject*> dicts);
    ~DictChanges();
    DictChanges(const DictChanges&) = delete;
    DictChanges& operator=(const DictChanges&) = delete;

    // False where the interpreter had no watcher to spare: nothing is known.
    bool watching() const noexcept { return watching_; }
    // Whether the dicts are watched, held only exact `str` keys when the scope
    // began, and none of them has changed since. A lookup by a `str` key then
    // compares no key with Python code: every probe is a `str` comparison.
    // Always false while that fast path is switched off.
    bool unchanged_str_keys() const noexcept {
        return on(FastPath::unchanged_dicts) && watching_ && str_keys_ && generation() == started_at_;
    }
    // Changes whenever a watched dict changes.
    static std::uint64_t generation() noexcept;

private:
    std::vector<Ref> dicts_;
    bool watching_ = false;
    bool str_keys_ = true;
    std::uint64_t started_at_ = 0;
};

// `dict[key]` as an algorithm reads it at every use. While `dict` has not
// changed, the value of the last lookup is the value a new lookup would give,
// and a lookup by an exact `str` key among `str` keys has no effect of its own,
// so it is not made again.
class FreshItem {
public:
    FreshItem(PyObject* dict, PyObject* key, const DictChanges& changes) noexcept
        : dict_(dict), key_(key), changes_(changes) {}
    // With the value that a lookup made at generation `found_at` gave.
    FreshItem(PyObject* dict, PyObject* key, const DictChanges& changes, PyObject* found,
              std::uint64_t found_at) noexcept
        : dict_(dict), key_(key), changes_(changes), value_(Ref::borrow(found)), generation_(found_at) {}

    // A new reference, as `getitem` gives.
    Ref get();

private:
    PyObject* dict_;
    PyObject* key_;
    const DictChanges& changes_;
    Ref value_;
    std::uint64_t generation_ = 0;
};

}  // namespace quorin::py
