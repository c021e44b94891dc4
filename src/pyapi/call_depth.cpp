#include "pyapi/call_depth.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <intrin.h>
#include <windows.h>
#elif defined(__APPLE__) || defined(__linux__)
#include <pthread.h>
#endif

namespace quorin::py {

namespace {

// CPython 3.13 bounds C recursion by counting nested calls, not by the stack's
// size, and a thread may have as little as 32 KiB; so the module checks the
// bounds itself. Below this much free stack it refuses to go deeper: enough
// for one more level of re-entry (about 1 KiB through a callback) and for the
// RecursionError to be raised and unwind, with a quarter of small stacks kept.
constexpr std::size_t reserve = std::size_t{64} * 1024;

// The lowest address a call may start at on this thread; 0 where the bounds
// cannot be read (no guard then). Stacks grow downwards on every platform built for.
std::uintptr_t read_stack_limit() noexcept {
    std::uintptr_t low = 0;
    std::size_t size = 0;
#if defined(_WIN32)
    ULONG_PTR lowest = 0, highest = 0;
    GetCurrentThreadStackLimits(&lowest, &highest);
    low = lowest;
    size = highest - lowest;
#elif defined(__APPLE__)
    const pthread_t self = pthread_self();
    size = pthread_get_stacksize_np(self);
    low = reinterpret_cast<std::uintptr_t>(pthread_get_stackaddr_np(self)) - size;
#elif defined(__linux__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void* addr = nullptr;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0)
        low = reinterpret_cast<std::uintptr_t>(addr);
    pthread_attr_destroy(&attr);
#endif
    if (low == 0)
        return 0;
    return low + std::min(reserve, size / 4);
}

// Read once per thread: a thread's stack does not move.
std::uintptr_t stack_limit() noexcept {
    thread_local const std::uintptr_t limit = read_stack_limit();
    return limit;
}

// Where this call's frame is. Not the address of a local: a sanitizer may
// keep locals off the stack.
[[gnu::always_inline]] inline std::uintptr_t frame_address() noexcept {
#if defined(_MSC_VER)
    return reinterpret_cast<std::uintptr_t>(_AddressOfReturnAddress());
#else
    return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
#endif
}

[[gnu::cold, gnu::noinline]] bool refuse(const char* message) noexcept {
    PyErr_SetString(PyExc_RecursionError, message);
    return false;
}

}  // namespace

bool CallDepth::enter() noexcept {
    if (frame_address() < stack_limit()) [[unlikely]]
        return refuse("maximum recursion depth exceeded (the thread's stack is nearly used up)");
    PyThreadState* thread = PyThreadState_GET();
    // As the interpreter counts a Python call: past the limit it raises, with
    // some headroom left for handling that error, which may call us again.
    if (thread->py_recursion_remaining <= 0) [[unlikely]] {
        if (thread->recursion_headroom == 0 || thread->py_recursion_remaining < -50) {
            ++thread->recursion_headroom;
            refuse("maximum recursion depth exceeded");
            --thread->recursion_headroom;
            return false;
        }
    }
    --thread->py_recursion_remaining;
    thread_ = thread;
    return true;
}

}  // namespace quorin::py
