// Changes to dicts, reported by the interpreter as they happen.
#pragma once

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
    // Changes whenever a watched dict changes.
    static std::uint64_t generation() noexcept;
    // Has every change to `dict` reported for as long as the dict lives;
    // false where that cannot be done (no watcher to spare, not a dict).
    static bool watch_for_life(PyObject* dict) noexcept;

private:
    std::vector<Ref> dicts_;
    bool watching_ = false;
};

}  // namespace quorin::py
