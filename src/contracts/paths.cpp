#include "contracts/paths.hpp"

#include "contracts/builtins.hpp"
#include "contracts/pathlib/posix_relative_to.hpp"
#include "pyapi/fast_paths.hpp"
#include "pyapi/runtime_state.hpp"

#include <cstdint>
#include <iterator>

namespace quorin::pdk::contracts::paths {

Ref path(const Context& c, PyObject* p) {
    return py::call(c.global(names::Path).get(), p);
}
Ref file_name(PyObject* path) {
    return py::getattr(path, names::name);
}
Ref resolve(PyObject* path) {
    return py::call_method(path, names::resolve);
}
Ref parts(PyObject* path) {
    return py::getattr(path, names::parts);
}

namespace {
// Whether the clause's `ValueError` is the built-in one, which the shortcut's
// "raises ValueError" answers for.
bool catches_builtin_value_error(const Context& c) {
    return c.global(names::ValueError).is(PyExc_ValueError);
}

// What the interpreter last reported of the tools told of calls. Its version
// counts within one runtime; a runtime started again starts from nothing.
struct CallEvents final : py::RuntimeState {
    static constexpr std::uint8_t types[] = {PY_MONITORING_EVENT_PY_START, PY_MONITORING_EVENT_CALL};
    PyMonitoringState state[std::size(types)]{};
    std::uint64_t version = 0;

    void release() noexcept override { forget(); }
    void forget() noexcept override {
        version = 0;
        for (PyMonitoringState& event : state)
            event = {};
    }
};
CallEvents call_events;

// Whether a tool would see the method's Python code run: a tracer or profiler
// of this thread, or a monitoring tool told of calls. The shortcut is for
// runs nobody watches; a watched one makes the call.
bool calls_are_watched() {
    PyThreadState* const thread = PyThreadState_GET();
    if (thread->c_tracefunc != nullptr || thread->c_profilefunc != nullptr)
        return true;
    py::check_status(PyMonitoring_EnterScope(call_events.state, &call_events.version, call_events.types,
                                             std::size(call_events.types)));
    return call_events.state[0].active != 0 || call_events.state[1].active != 0;
}
}  // namespace

bool relative_to_succeeds(const Context& c, PyObject* path, PyObject* other) {
    using Answer = pathlib::PosixRelativeTo::Answer;
    const Answer answer = py::fast_paths_on() && !calls_are_watched()
                              ? pathlib::PosixRelativeTo::instance().answer(path, other)
                              : Answer::ask_the_method;
    switch (answer) {
        case Answer::returns:
            return true;
        case Answer::raises_value_error:
            if (catches_builtin_value_error(c))
                return false;
            break;
        case Answer::ask_the_method:
            break;
    }
    PyObject* args[] = {path, other};
    const Ref result = Ref::steal(PyObject_VectorcallMethod(names::relative_to, args, 2, nullptr));
    if (result) {
        py::handle_signals();
        return true;
    }
    // The common "not under it" answer is cleared here, without the cost of a
    // C++ throw and catch per path.
    const Ref raised = Ref::steal(PyErr_GetRaisedException());
    if (!contracts::builtins::caught_by(c, raised.get(), names::ValueError))
        throw py::Error(Ref(raised));
    py::handle_signals();
    return false;
}

}  // namespace quorin::pdk::contracts::paths
