#include "pyapi/dict_watch.hpp"

#include "pyapi/ops.hpp"
#include "pyapi/runtime_state.hpp"

#include <algorithm>
#include <utility>

namespace quorin::py {

namespace {

std::uint64_t changes_seen = 0;

void forget_freed(PyObject* dict);

int on_change(PyDict_WatchEvent event, PyObject* dict, PyObject*, PyObject*) {
    ++changes_seen;
    if (event == PyDict_EVENT_DEALLOCATED)
        forget_freed(dict);
    return 0;
}

// Set when the module's interpreter ends: its reports may stop coming.
bool interpreter_ended = false;

constexpr int unregistered = -2;
constexpr int unavailable = -1;
int watcher_id = unregistered;

// One watcher: the module runs in one interpreter at a time.
int watcher() {
    if (watcher_id == unregistered) {
        watcher_id = PyDict_AddWatcher(on_change);
        // All watchers taken: lookups are simply made every time.
        if (watcher_id < 0) {
            PyErr_Clear();
            watcher_id = unavailable;
        }
    }
    return watcher_id;
}

// How many live scopes watch each dict: the last one to end stops watching.
std::vector<std::pair<PyObject*, int>> watch_counts;

auto find_count(PyObject* dict) {
    return std::ranges::find_if(watch_counts, [dict](const auto& entry) { return entry.first == dict; });
}

// Watched for as long as they live: never unwatched, and forgotten when freed,
// so that a new dict at the same address is not taken for them.
constexpr int for_life = -1;

void forget_freed(PyObject* dict) {
    if (auto entry = find_count(dict); entry != watch_counts.end() && entry->second == for_life)
        watch_counts.erase(entry);
}

// A watcher belongs to its interpreter, which drops it when it ends; the next
// one registers its own. Reset after the scopes that use it are released.
// From the interpreter's end on, no change is reported any more: whatever was
// known is known no longer, and nothing new is watched.
class Registration final : public RuntimeState {
public:
    Registration() noexcept : RuntimeState(Order::registrations) {}

private:
    void on_interpreter_end() noexcept override {
        ++changes_seen;
        interpreter_ended = true;
    }
    void release() noexcept override { forget(); }
    void forget() noexcept override {
        ++changes_seen;
        interpreter_ended = false;
        watcher_id = unregistered;
        watch_counts.clear();
    }
};
Registration registration;

}  // namespace

DictChanges::DictChanges(std::initializer_list<PyObject*> dicts) {
    const int id = watcher();
    if (id < 0)
        return;
    for (PyObject* dict : dicts) {
        if (auto entry = find_count(dict); entry != watch_counts.end()) {
            if (entry->second != for_life)
                ++entry->second;
        } else if (PyDict_Watch(id, dict) == 0) {
            watch_counts.emplace_back(dict, 1);
        } else {
            // Not a dict after all: this scope knows nothing.
            PyErr_Clear();
            return;
        }
        // Held, so that no other dict can take its address while it is counted.
        dicts_.push_back(Ref::borrow(dict));
    }
    watching_ = true;
}

DictChanges::~DictChanges() {
    for (const Ref& dict : dicts_) {
        auto entry = find_count(dict.get());
        if (entry->second == for_life)
            continue;
        --entry->second;
        if (entry->second == 0) {
            // Cannot fail: the watcher and the dict are both valid.
            (void)PyDict_Unwatch(watcher_id, dict.get());
            watch_counts.erase(entry);
        }
    }
}

std::uint64_t DictChanges::generation() noexcept {
    return changes_seen;
}

bool DictChanges::watch_for_life(PyObject* dict) noexcept {
    const int id = watcher();
    if (id < 0 || interpreter_ended)
        return false;
    auto entry = find_count(dict);
    if (entry == watch_counts.end()) {
        if (PyDict_Watch(id, dict) != 0) {
            PyErr_Clear();
            return false;
        }
        watch_counts.emplace_back(dict, for_life);
    }
    entry = find_count(dict);
    entry->second = for_life;
    return true;
}

}  // namespace quorin::py
