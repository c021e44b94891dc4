// The monitoring events of a call, as the interpreter fires them for a Python
// function: PY_START when the body begins, PY_RETURN with its result, PY_UNWIND
// when an exception leaves it. Profilers and every other sys.monitoring tool
// learn of calls from these events alone.
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
    std::uint64_t version;
    PyMonitoringState events[monitored_events];
    PyObject* code;  // owned; made when a tool first turns one of the events on

    void clear() noexcept { Py_CLEAR(code); }
};

namespace detail {
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

}  // namespace quorin::py
