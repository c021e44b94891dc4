#include "pyapi/monitoring.hpp"

#include "pyapi/traceback.hpp"

namespace quorin::py {

namespace {

// A tool's callback runs with the thread marked as tracing, and the
// interpreter fires no event for code the callback calls; nor do we.
bool in_callback() {
    return PyThreadState_GET()->tracing != 0;
}

bool any_active(const MonitorState& state) {
    for (const PyMonitoringState& event : state.events) {
        if (event.active)
            return true;
    }
    return false;
}

}  // namespace

namespace detail {

[[gnu::cold]] void entered(MonitorState& state, std::uint64_t seen, PyObject* const& qualname,
                           const Where& defined) {
    if (state.version != seen && state.code == nullptr && any_active(state)) {
        try {
            // Named as the function's traceback entries name it, so that a
            // profile and a traceback agree; one per function, kept for its
            // lifetime.
            state.code = code_object(qualname, defined).release();
        } catch (...) {
            // Nothing fires without a code object; the next call asks again.
            state = MonitorState{};
            throw;
        }
    }
    if (state.events[on_start].active && state.code != nullptr && !in_callback())
        check_status(PyMonitoring_FirePyStartEvent(&state.events[on_start], state.code, 0), defined);
}

[[gnu::cold]] void fire_return(MonitorState& state, PyObject* result, const Where& defined) {
    if (state.code == nullptr || in_callback())
        return;
    check_status(PyMonitoring_FirePyReturnEvent(&state.events[on_return], state.code, 0, result), defined);
}

[[gnu::cold]] void fire_unwind(MonitorState& state) noexcept {
    if (state.code == nullptr || in_callback())
        return;
    // On failure the callback's exception has replaced the one that was leaving.
    (void)PyMonitoring_FirePyUnwindEvent(&state.events[on_unwind], state.code, 0);
}

}  // namespace detail

}  // namespace quorin::py
