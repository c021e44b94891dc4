#include "pyapi/dict_watch.hpp"

#include "pyapi/ops.hpp"
#include "pyapi/runtime_state.hpp"

#include <algorithm>
#include <utility>

namespace quorin::py {

namespace {

std::uint64_t changes_seen = 0;

int on_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) {
    ++changes_seen;
    return 0;
}

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

// A watcher belongs to its interpreter, which drops it when it ends; the next
// one registers its own. Reset after the scopes that use it are released.
class Registration final : public RuntimeState {
public:
    Registration() noexcept : RuntimeState(Order::registrations) {}

private:
    void release() noexcept override { forget(); }
    void forget() noexcept override {
        watcher_id = unregistered;
        watch_counts.clear();
    }
};
Registration registration;

bool only_str_keys(PyObject* dict) noexcept {
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    while (PyDict_Next(dict, &pos, &key, &value))
        if (!PyUnicode_CheckExact(key))
            return false;
    return true;
}

}  // namespace

DictChanges::DictChanges(std::initializer_list<PyObject*> dicts) {
    const int id = watcher();
    if (id < 0)
        return;
    for (PyObject* dict : dicts) {
        if (auto entry = find_count(dict); entry != watch_counts.end()) {
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
        str_keys_ = str_keys_ && only_str_keys(dict);
    }
    watching_ = true;
    started_at_ = changes_seen;
}

DictChanges::~DictChanges() {
    for (const Ref& dict : dicts_) {
        auto entry = find_count(dict.get());
        if (--entry->second == 0) {
            // Cannot fail: the watcher and the dict are both valid.
            (void)PyDict_Unwatch(watcher_id, dict.get());
            watch_counts.erase(entry);
        }
    }
}

std::uint64_t DictChanges::generation() noexcept {
    return changes_seen;
}

Ref FreshItem::get() {
    const std::uint64_t now = DictChanges::generation();
    if (value_ && now == generation_ && changes_.unchanged_str_keys() && PyUnicode_CheckExact(key_))
        return value_;
    value_ = getitem(dict_, key_);
    generation_ = now;
    return value_;
}

}  // namespace quorin::py
