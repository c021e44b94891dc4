// Global names as the interpreter's own global load finds them, without the
// two dict lookups at every use: a function keeps what it found, and uses it
// while neither its namespace nor its builtins has changed since. What it keeps
// is borrowed from the dicts, as the interpreter's cache keeps an index: the
// interpreter reports a change before it releases a value, so a value kept is
// alive while it is used, and a global deleted or replaced is released when
// Python code would release it.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"

#include <array>
#include <cstdint>
#include <utility>

namespace quorin::py {

class GlobalCache {
public:
    GlobalCache() noexcept = default;
    GlobalCache(const GlobalCache&) = delete;
    GlobalCache& operator=(const GlobalCache&) = delete;
    ~GlobalCache() = default;

    // `name` in `globals`, else in `builtins`, else NameError, as the
    // interpreter looks a global name up; a new reference.
    Ref lookup(PyObject* globals, PyObject* builtins, const Name& name, Where where);

    void clear() noexcept;

private:
    Ref lookup_and_keep(PyObject* globals, PyObject* builtins, const Name& name, Where where);

    static constexpr std::size_t capacity = 16;
    std::uint64_t generation_ = ~std::uint64_t{0};  // of the dicts when the entries were found
    bool usable_ = false;
    std::size_t used_ = 0;
    std::array<std::pair<const Name*, PyObject*>, capacity> entries_{};  // values borrowed
};

}  // namespace quorin::py
