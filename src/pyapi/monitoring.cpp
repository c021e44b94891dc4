#include "pyapi/monitoring.hpp"

#include "pyapi/traceback.hpp"

#include <utility>

namespace quorin::py {

namespace {

// A tool's callback runs with the thread marked as tracing, and the
// interpreter fires no event for code the callback calls; nor do we.
bool in_callback() {
    return PyThreadState_GET()->tracing != 0;
}

// The frame of the innermost call this thread reported to its profiler.
thread_local PyObject* open_frame = nullptr;

// Calls the profile function as the interpreter does, marked as tracing so
// that nothing it runs is reported in turn; the object it belongs to is held
// for the call, since the function may replace itself.
int call_profiler(PyThreadState* thread, PyObject* frame, int what, PyObject* arg) {
    const Ref owner = Ref::borrow(thread->c_profileobj);
    ++thread->tracing;
    const int status = thread->c_profilefunc(owner.get(), reinterpret_cast<PyFrameObject*>(frame), what, arg);
    --thread->tracing;
    return status;
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

[[gnu::cold]] bool fire_c_call(PyThreadState* thread, PyObject* function, PyObject*& frame,
                               PyObject*& previous) noexcept {
    if (in_callback())
        return true;
    PyObject* const current = reinterpret_cast<PyObject*>(PyEval_GetFrame());
    if (current == nullptr || current == open_frame)
        return true;
    if (call_profiler(thread, current, PyTrace_C_CALL, function) != 0)
        return false;
    frame = Py_NewRef(current);
    previous = std::exchange(open_frame, current);
    return true;
}

[[gnu::cold]] PyObject* fire_c_end(PyThreadState* thread, PyObject* function, PyObject* frame,
                                   PyObject* previous, PyObject* result) noexcept {
    const Ref held = Ref::steal(frame);
    open_frame = previous;
    // A profiler that removed itself during the call hears no more of it.
    if (thread->c_profilefunc == nullptr)
        return result;
    if (result != nullptr) {
        Ref value = Ref::steal(result);
        return call_profiler(thread, frame, PyTrace_C_RETURN, function) == 0 ? value.release() : nullptr;
    }
    // The exception waits while the profiler runs; one it raises replaces it.
    const Ref raised = Ref::steal(PyErr_GetRaisedException());
    if (call_profiler(thread, frame, PyTrace_C_EXCEPTION, function) == 0)
        PyErr_SetRaisedException(Ref(raised).release());
    return nullptr;
}

[[gnu::cold]] void entered(MonitorState& state, std::uint64_t seen, PyObject* const& qualname,
                           const Where& defined) {
    if (state.version != seen) {
        for (PyMonitoringState& event : state.events)
            event.active &= std::uint8_t(~MonitorState::frame_reading_tools);
    }
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
