// What the interpreter does on entering a Python function, done for ours: the
// call counts toward `sys.getrecursionlimit()`, and a thread whose stack is
// nearly used up gets RecursionError instead of a crash.
#pragma once

#include "pyapi/ref.hpp"

namespace quorin::py {

// One level of the current thread's call depth, held for the body of a call.
class CallDepth {
public:
    CallDepth() noexcept = default;
    CallDepth(const CallDepth&) = delete;
    CallDepth& operator=(const CallDepth&) = delete;
    ~CallDepth() {
        if (thread_ != nullptr)
            ++thread_->py_recursion_remaining;
    }

    // False, with RecursionError raised, when the call may not go deeper.
    [[nodiscard]] bool enter() noexcept;

private:
    PyThreadState* thread_ = nullptr;
};

}  // namespace quorin::py
