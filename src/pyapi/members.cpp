#include "pyapi/members.hpp"

namespace quorin::py {

Py_ssize_t member_offset(PyTypeObject* type, PyObject* name, PyTypeObject* owner, int kind, int flags) {
    PyObject* const descriptor = _PyType_Lookup(type, name);  // borrowed
    if (descriptor == nullptr || !Py_IS_TYPE(descriptor, &PyMemberDescr_Type))
        return 0;
    const auto* const member = reinterpret_cast<PyMemberDescrObject*>(descriptor);
    if (member->d_common.d_type != owner || member->d_member->type != kind ||
        member->d_member->flags != flags)
        return 0;
    return member->d_member->offset;
}

}  // namespace quorin::py
