// Traceback entries for native functions, so that a traceback passes through
// the module's functions as it would through a Python module's.
#pragma once

#include "pyapi/error.hpp"

namespace quorin::py {

// Adds to the traceback of the exception being raised one entry named
// `qualname` at the source line `where`, as the interpreter adds one for a
// Python frame. Never fails: when the entry cannot be made, the exception is
// left as it was.
void add_traceback_entry(PyObject* qualname, PyObject* globals, const Where& where) noexcept;

// A new empty code object named `qualname`, at the source line `where`
// relative to the project root: what a traceback entry shows, and what
// monitoring events name a function by.
Ref code_object(PyObject* qualname, const Where& where);

}  // namespace quorin::py
