#include "pyapi/attribute.hpp"

#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {

// Where the default attribute protocol of `type` finds `name` in an object
// slot and does nothing else: that slot's offset and whether it reads an empty
// slot as None; offset 0 where the protocol would do more.
Attribute::Site slot_site(PyTypeObject* type, PyObject* name, bool for_write) {
    if (type->tp_getattro != PyObject_GenericGetAttr)
        return {};
    if (for_write && type->tp_setattro != PyObject_GenericSetAttr)
        return {};
    PyObject* descriptor = _PyType_Lookup(type, name);  // borrowed
    if (descriptor == nullptr || !Py_IS_TYPE(descriptor, &PyMemberDescr_Type))
        return {};
    const auto* member_descriptor = reinterpret_cast<PyMemberDescrObject*>(descriptor);
    // A slot of another class, put on this one, refuses its objects.
    if (!PyType_IsSubtype(type, member_descriptor->d_common.d_type))
        return {};
    const PyMemberDef* member = member_descriptor->d_member;
    if (member->flags != 0)
        return {};
    if (member->type == Py_T_OBJECT_EX)
        return {.type = nullptr, .version = 0, .offset = member->offset, .none_if_empty = false};
    // The older object member kind reads an empty slot as None; it is only
    // read here, because writing None to it would not empty it.
    if (member->type == _Py_T_OBJECT && !for_write)
        return {.type = nullptr, .version = 0, .offset = member->offset, .none_if_empty = true};
    return {};
}

}  // namespace

const Attribute::Site& Attribute::learn(PyObject* o, Site& cached, bool for_write) const {
    PyTypeObject* const type = Py_TYPE(o);
    cached = Site{};
    if (PyUnstable_Type_AssignVersionTag(type) == 0)
        return cached;
    const unsigned int version = type->tp_version_tag;
    Site found = slot_site(type, name_, for_write);
    // A lookup that ran code which changed the class is not remembered.
    if (type->tp_version_tag == version) {
        found.type = type;
        found.version = version;
        cached = found;
    }
    return cached;
}

Ref Attribute::get_slow(PyObject* o) const {
    return getattr(o, name_);
}

Ref Attribute::get_optional_slow(PyObject* o) const {
    return getattr_optional(o, name_);
}

void Attribute::set(PyObject* o, PyObject* value) const {
    if (const Site& s = site(o, write_, true); s.offset != 0) {
        PyObject** const slot = slot_in(o, s);
        // The old value is released last: that may run code that reads the slot.
        const Ref old = Ref::steal(*slot);
        *slot = Py_NewRef(value);
        return;
    }
    setattr(o, name_, value);
}

Ref Attribute::call(PyObject* o) const {
    if (PyObject* value = read(o)) {
        const Ref callable = Ref::borrow(value);
        return py::call(callable.get());
    }
    return call_method(o, name_);
}

}  // namespace quorin::py
