// `path.relative_to(other)` of the standard library's POSIX paths, answered
// from the paths' texts.
#pragma once

#include "pyapi/dict_watch.hpp"
#include "pyapi/function_watch.hpp"
#include "pyapi/ref.hpp"

#include <cstdint>
#include <optional>

namespace quorin::py {

// For `PurePosixPath` and `PosixPath` objects, `relative_to` without
// `walk_up` returns exactly when `other == path` or `other` is one of
// `path.parents`, and both are facts about the normalised texts the method
// compares. The answer is taken from those texts only while everything the
// method reaches is the standard library's own and unchanged: the two classes
// and every base (their version tags), the methods, properties and slots the
// method uses on them and on the class of `path.parents`, the names it reads
// from its modules and from builtins (watched), and the functions' code and
// defaults (watched). Anything else is left to the ordinary call.
class PosixRelativeTo {
public:
    PosixRelativeTo();
    PosixRelativeTo(const PosixRelativeTo&) = delete;
    PosixRelativeTo& operator=(const PosixRelativeTo&) = delete;

    enum class Answer : std::uint8_t { returns, raises_value_error, ask_the_method };
    // What `path.relative_to(other)` would do. On the way it fills the caches
    // of the two paths that the method itself would fill.
    Answer answer(PyObject* path, PyObject* other);

private:
    struct Stamp {
        std::uint64_t dicts = 0;
        std::uint64_t functions = 0;
        unsigned int pure = 0;
        unsigned int concrete = 0;
        unsigned int parents = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const noexcept;
    // Whether the checks made at `checked_` still hold, checking afresh where
    // anything they depend on changed since.
    bool standard();
    bool check_standard();
    bool is_standard_path(PyObject* o) const noexcept {
        PyObject* const type = reinterpret_cast<PyObject*>(Py_TYPE(o));
        return pure_.is(type) || concrete_.is(type);
    }
    // The text `==` compares, filled in as the method would; null where the
    // method must answer.
    PyObject* compared_text(PyObject* path);

    // The namespaces the method's code runs in.
    Ref local_, abc_, collections_abc_, posixpath_, os_, builtins_;
    std::optional<DictChanges> dict_changes_;
    FunctionChanges function_changes_;

    // The classes found at the last check, and where their objects keep the
    // cached texts and parts.
    Ref pure_, concrete_, parents_;
    struct Offsets {
        Py_ssize_t str = 0, normcase = 0, drv = 0, root = 0, tail = 0;
    } offsets_;
    std::optional<Stamp> checked_;
    bool standard_ = false;
};

}  // namespace quorin::py
