// Changes made to function objects in place, seen while a scope is alive.
#pragma once

#include "pyapi/ref.hpp"

#include <cstdint>

namespace quorin::py {

// While alive, has the interpreter report every assignment to a function's
// `__code__`, `__defaults__` or `__kwdefaults__`, whoever makes it. Scopes may
// nest; the interpreter is told of no function events once the last one ends.
class FunctionChanges {
public:
    FunctionChanges();
    ~FunctionChanges();
    FunctionChanges(const FunctionChanges&) = delete;
    FunctionChanges& operator=(const FunctionChanges&) = delete;

    // False where the interpreter had no watcher to spare: nothing is known.
    bool watching() const noexcept { return watching_; }
    // Changes whenever a function is changed while a scope is alive.
    static std::uint64_t generation() noexcept;

private:
    bool watching_ = false;
};

}  // namespace quorin::py
