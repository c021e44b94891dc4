// Attribute reads and writes by a fixed name, with the slot fast path.
#pragma once

#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

namespace quorin::py {

// An attribute name used at one hot site of the module.
//
// When the object's class keeps the attribute in a `__slots__` slot and looks
// attributes up the default way, the interpreter's answer is the slot's
// content; that slot is read or written directly, as the interpreter's own
// specialised attribute instructions do. The class is recognised by its
// version tag, which the interpreter replaces whenever the class or one of its
// bases changes, so a class that is altered is looked at afresh. Every other
// case, an empty slot included, goes through the ordinary protocol.
class Attribute {
public:
    // `name` is one of the interned names of a table, which live for the program.
    explicit Attribute(const Name& name) noexcept : name_(name) {}
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;

    PyObject* name() const noexcept { return name_.get(); }
    // `o.name`.
    Ref get(PyObject* o) const {
        if (PyObject* value = read(o))
            return Ref::borrow(value);
        return get_slow(o);
    }
    // `getattr(o, name)`, empty where the attribute is missing (AttributeError).
    Ref get_optional(PyObject* o) const {
        if (PyObject* value = read(o))
            return Ref::borrow(value);
        return get_optional_slow(o);
    }
    // `o.name = value`.
    void set(PyObject* o, PyObject* value) const;
    // `o.name()`.
    Ref call(PyObject* o) const;

    // What the last class seen at a site does with the name: offset 0 where
    // the ordinary protocol is needed.
    struct Site {
        PyTypeObject* type = nullptr;  // compared, never dereferenced
        unsigned int version = 0;
        Py_ssize_t offset = 0;
        bool none_if_empty = false;
    };

private:
    // Finds out what `o`'s class does with the name, and remembers it.
    const Site& learn(PyObject* o, Site& cached, bool for_write) const;
    const Site& site(PyObject* o, Site& cached, bool for_write) const {
        PyTypeObject* const type = Py_TYPE(o);
        if (type == cached.type && type->tp_version_tag == cached.version) [[likely]]
            return cached;
        return learn(o, cached, for_write);
    }
    static PyObject** slot_in(PyObject* o, const Site& site) noexcept {
        return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + site.offset);
    }
    // The slot's content, borrowed; null where the ordinary protocol must answer.
    PyObject* read(PyObject* o) const {
        const Site& s = site(o, read_, false);
        if (s.offset == 0)
            return nullptr;
        PyObject* const value = *slot_in(o, s);
        return value == nullptr && s.none_if_empty ? Py_None : value;
    }
    Ref get_slow(PyObject* o) const;
    Ref get_optional_slow(PyObject* o) const;

    const Name& name_;
    mutable Site read_;
    mutable Site write_;
};

}  // namespace quorin::py
