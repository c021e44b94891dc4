// The monitoring events of a call, as the interpreter fires them for a Python
// function: PY_START when the body begins, PY_RETURN with its result, PY_UNWIND
// when an exception leaves it. Profilers and every other sys.monitoring tool
// learn of calls from these events alone.
//
// Tools that read the current frame on those events (the debugger's tool and
// the interpreter's own `sys.settrace`/`sys.setprofile` adapters) would find
// the caller's frame there and take it for ours, so they get none of them;
// `sys.setprofile` tools get what they get around a built-in function instead
// (`ProfiledCall`).
#pragma once

#include "pyapi/error.hpp"

#include <cstdint>

namespace quorin::py {

// The build can leave the events out, to measure what checking for them costs.
#ifdef QUORIN_MONITORING
inline constexpr bool monitoring_compiled = QUORIN_MONITORING != 0;
#else
inline constexpr bool monitoring_compiled = true;
#endif

enum MonitoredEvent : unsigned char { on_start, on_return, on_unwind, monitored_events };

// What one function keeps between its calls: the state of its events as the
// interpreter last reported it, and the code object the events name. It lives
// in the function object and starts zeroed with it, which is the interpreter's
// own starting point (version 0, no tool active).
struct MonitorState {
    // Tool ids (bits of `PyMonitoringState::active`) that are told nothing:
    // the debugger's, then the ones behind `sys.setprofile` and `sys.settrace`.
    static constexpr std::uint8_t frame_reading_tools = (1u << 0) | (1u << 6) | (1u << 7);

    std::uint64_t version;
    PyMonitoringState events[monitored_events];
    PyObject* code;  // owned; made when a tool first turns one of the events on

    void clear() noexcept { Py_CLEAR(code); }
};

namespace detail {
bool fire_c_call(PyThreadState* thread, PyObject* function, PyObject*& frame, PyObject*& previous) noexcept;
PyObject* fire_c_end(PyThreadState* thread, PyObject* function, PyObject* frame, PyObject* previous,
                     PyObject* result) noexcept;
void entered(MonitorState& state, std::uint64_t seen, PyObject* const& qualname, const Where& defined);
void fire_return(MonitorState& state, PyObject* result, const Where& defined);
void fire_unwind(MonitorState& state) noexcept;
}  // namespace detail

// The body of the function named `qualname`, defined at `defined`, begins:
// one check of the interpreter's monitoring version, and PY_START if a tool
// listens. Throws what a tool's callback raised. The name is read only when
// a code object is made, so it is taken by reference.
inline void monitor_start(MonitorState& state, PyObject* const& qualname, const Where& defined) {
    if constexpr (monitoring_compiled) {
        static constexpr std::uint8_t types[monitored_events] = {
            PY_MONITORING_EVENT_PY_START, PY_MONITORING_EVENT_PY_RETURN, PY_MONITORING_EVENT_PY_UNWIND};
        const std::uint64_t seen = state.version;
        check_status(PyMonitoring_EnterScope(state.events, &state.version, types, monitored_events));
        if (state.version != seen || state.events[on_start].active) [[unlikely]]
            detail::entered(state, seen, qualname, defined);
    }
}

// The body returned `result`: PY_RETURN if a tool listens. Throws what a
// callback raised; the result is then dropped, as the interpreter drops it.
inline void monitor_return(MonitorState& state, PyObject* result, const Where& defined) {
    if constexpr (monitoring_compiled) {
        if (state.events[on_return].active) [[unlikely]]
            detail::fire_return(state, result, defined);
    }
}

// An exception, already raised, leaves the function: PY_UNWIND if a tool
// listens. A callback that raises replaces the exception, as for Python code.
inline void monitor_unwind(MonitorState& state) noexcept {
    if constexpr (monitoring_compiled) {
        if (state.events[on_unwind].active) [[unlikely]]
            detail::fire_unwind(state);
    }
}

// `c_call`, then `c_return` or `c_exception`, for the profile function of
// `sys.setprofile` (or `PyEval_SetProfile`), with the caller's frame: what the
// interpreter tells it around a call of a built-in function. A call made by
// the module's own code, under the same frame, tells it nothing more, as a
// built-in function's calls from C do not.
class ProfiledCall {
public:
    ProfiledCall() noexcept = default;
    ProfiledCall(const ProfiledCall&) = delete;
    ProfiledCall& operator=(const ProfiledCall&) = delete;

    // Whether this thread has a profile function to tell.
    static bool wanted() noexcept {
        if constexpr (monitoring_compiled)
            return PyThreadState_GET()->c_profilefunc != nullptr;
        return false;
    }

    // False, with the profiler's exception raised, when it refused the call.
    [[nodiscard]] bool begin(PyObject* function) noexcept {
        if constexpr (monitoring_compiled) {
            thread_ = PyThreadState_GET();
            if (thread_->c_profilefunc != nullptr) [[unlikely]]
                return detail::fire_c_call(thread_, function, frame_, previous_);
        }
        return true;
    }
    // The call's result (null with an exception raised), after the profiler
    // was told; a profiler that raises replaces it.
    PyObject* end(PyObject* function, PyObject* result) noexcept {
        if constexpr (monitoring_compiled) {
            if (frame_ != nullptr) [[unlikely]]
                return detail::fire_c_end(thread_, function, frame_, previous_, result);
        }
        return result;
    }

private:
    PyThreadState* thread_ = nullptr;
    PyObject* frame_ = nullptr;     // owned while a c_call is open
    PyObject* previous_ = nullptr;  // the frame of the c_call open before this one
};

}  // namespace quorin::py
