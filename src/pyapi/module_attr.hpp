// Attribute reads on plain module objects, for lookups by many distinct names.
#pragma once

#include "pyapi/ref.hpp"

namespace quorin::py {

// `getattr(o, name, None)`, empty instead of None for a missing attribute.
//
// For an object of exactly the module type and an exact `str` name that no
// class in that type's MRO defines, the interpreter's answer is the entry of
// the module's dict; that entry is read directly. Those classes are immutable
// built-in types, so the test is fixed for the life of the process. This skips
// the type lookup that misses the interpreter's attribute cache once the names
// outnumber its slots. Every other case goes through the ordinary protocol.
Ref module_attribute_optional(PyObject* o, PyObject* name);

}  // namespace quorin::py
