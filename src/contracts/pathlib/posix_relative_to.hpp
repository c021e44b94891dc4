// `path.relative_to(other)` of the standard library's POSIX paths, answered
// from the paths' texts.
#pragma once

#include "pyapi/dict_watch.hpp"
#include "pyapi/ref.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorin::pdk::contracts::pathlib {

using py::Ref;

// For `PurePosixPath` and `PosixPath` objects, `relative_to` without
// `walk_up` returns exactly when `other == path` or `other` is one of
// `path.parents`, and both are facts about the normalised texts the method
// compares. The answer is taken from those texts only while everything the
// method reaches is the standard library's own and unchanged, checked where
// the answer is given:
// - the two classes and every base keep their version tags, and the class of
//   `path.parents` too; their objects have no `__dict__` whose entries would
//   come before the methods;
// - the names the code reads from its modules and from builtins are as they
//   were (dict watchers);
// - every function the method runs has code whose digest is one of a release
//   the shortcut was verified on (known_code.hpp), and what can change in
//   place without any event, a function's code, defaults and free variables,
//   the function behind a property or classmethod, the `walk_up` default, is
//   read again at every answer.
// Anything else is left to the ordinary call.
class PosixRelativeTo {
public:
    // The one scope of the module's runtime, made on first use: what it finds
    // and registers (watched dicts, held classes) is kept for the next calls.
    static PosixRelativeTo& instance();

    enum class Answer : std::uint8_t { returns, raises_value_error, ask_the_method };
    // What `path.relative_to(other)` would do. On the way it fills the caches
    // of the two paths that the method itself would fill.
    Answer answer(PyObject* path, PyObject* other);

private:
    PosixRelativeTo() = default;

    struct Stamp {
        std::uint64_t dicts = 0;
        unsigned int pure = 0;
        unsigned int concrete = 0;
        unsigned int parents = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const noexcept;
    // Whether the checks still hold: the cheap tests where nothing that raises
    // an event changed, all of them afresh where something did.
    bool standard();
    bool check_standard();
    bool unchanged_in_place() const noexcept;
    bool watch_namespaces();
    bool is_standard_path(PyObject* o) const noexcept {
        PyObject* const type = reinterpret_cast<PyObject*>(Py_TYPE(o));
        return pure_.is(type) || concrete_.is(type);
    }
    // The text `==` compares, filled in as the method would; null where the
    // method must answer. `ran_code` is set where it ran the path's `__str__`.
    PyObject* compared_text(PyObject* path, bool& ran_code);

    // The namespaces the method's code runs in, watched while the scope lives.
    Ref local_, abc_, collections_abc_, posixpath_, os_, builtins_;
    std::optional<py::DictChanges> dict_changes_;

    // The classes found at the last check, and where their objects keep the
    // cached texts and parts.
    Ref pure_, concrete_, parents_;
    struct Offsets {
        Py_ssize_t str = 0, normcase = 0, drv = 0, root = 0, tail = 0;
    } offsets_;
    // Object fields that may be changed in place without an event, with what
    // they held at the check; their owners and values are held in `held_`, so
    // that no address is reused.
    struct Field {
        PyObject* const* address;
        PyObject* value;
    };
    std::vector<Field> fields_;
    std::vector<Ref> held_;
    Ref kwdefaults_;  // of `relative_to`: read at every answer
    std::optional<Stamp> checked_;
    Stamp tags_;  // the classes' tags when the last check gave them theirs
    bool standard_ = false;
};

}  // namespace quorin::pdk::contracts::pathlib
