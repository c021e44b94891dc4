// Object fields that a class reaches through a member descriptor: `__slots__`
// slots, and the fields of built-in objects that their types expose that way.
#pragma once

#include "pyapi/ref.hpp"

namespace quorin::py {

// Where the descriptor found for `name` on `type` keeps its value: the offset
// of an object field of `owner` (the class that declared it) of member kind
// `kind` with exactly `flags`, read and written as is; 0 where the attribute
// is anything else. Runs no Python code.
Py_ssize_t member_offset(PyTypeObject* type, PyObject* name, PyTypeObject* owner, int kind, int flags);

// The object field at `offset`, borrowed; it may be null.
inline PyObject*& field(PyObject* o, Py_ssize_t offset) noexcept {
    return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + offset);
}

}  // namespace quorin::py
