#include "pyapi/function_watch.hpp"

namespace quorin::py {

namespace {

std::uint64_t changes_seen = 0;
int live_scopes = 0;
int watcher_id = -1;

int on_event(PyFunction_WatchEvent event, PyFunctionObject*, PyObject*) {
    if (event == PyFunction_EVENT_MODIFY_CODE || event == PyFunction_EVENT_MODIFY_DEFAULTS ||
        event == PyFunction_EVENT_MODIFY_KWDEFAULTS)
        ++changes_seen;
    return 0;
}

}  // namespace

// The watcher is registered only while a scope needs it: every function the
// interpreter creates or frees meanwhile is reported to it.
FunctionChanges::FunctionChanges() {
    if (live_scopes == 0) {
        watcher_id = PyFunction_AddWatcher(on_event);
        if (watcher_id < 0) {
            PyErr_Clear();
            return;
        }
    }
    ++live_scopes;
    watching_ = true;
}

FunctionChanges::~FunctionChanges() {
    if (!watching_)
        return;
    if (--live_scopes == 0) {
        // Cannot fail: the watcher was registered by the first scope.
        (void)PyFunction_ClearWatcher(watcher_id);
        watcher_id = -1;
    }
}

std::uint64_t FunctionChanges::generation() noexcept {
    return changes_seen;
}

}  // namespace quorin::py
