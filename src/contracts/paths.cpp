#include "contracts/paths.hpp"

#include "contracts/builtins.hpp"
#include "contracts/pathlib/posix_relative_to.hpp"
#include "pyapi/fast_paths.hpp"

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

// Whether a tool would see the method's Python code run: a tracer or profiler
// of this thread, or a monitoring tool told of calls. The shortcut is for
// runs nobody watches; a watched one makes the call.
bool calls_are_watched() {
    PyThreadState* const thread = PyThreadState_GET();
    if (thread->c_tracefunc != nullptr || thread->c_profilefunc != nullptr)
        return true;
    static constexpr std::uint8_t events[] = {PY_MONITORING_EVENT_PY_START, PY_MONITORING_EVENT_CALL};
    static PyMonitoringState state[std::size(events)];
    static std::uint64_t version = 0;
    py::check_status(PyMonitoring_EnterScope(state, &version, events, std::size(events)));
    return state[0].active != 0 || state[1].active != 0;
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
