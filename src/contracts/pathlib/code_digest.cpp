#include "contracts/pathlib/code_digest.hpp"

#include "pyapi/error.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace quorin::pdk::contracts::pathlib {

namespace {

using py::Ref;

// 64-bit FNV-1a over a stream of tagged, length-prefixed fields.
class Digest {
public:
    void bytes(std::string_view data) noexcept {
        for (const char ch : data) {
            hash_ ^= static_cast<unsigned char>(ch);
            hash_ *= 0x100000001b3ULL;
        }
    }
    void field(char tag, std::string_view data) noexcept {
        const std::string head = std::string(1, tag) + std::to_string(data.size()) + ":";
        bytes(head);
        bytes(data);
    }
    std::uint64_t value() const noexcept { return hash_; }

private:
    std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

bool add(Digest& d, PyObject* o);

bool add_text(Digest& d, char tag, PyObject* text) {
    Py_ssize_t size = 0;
    const char* const utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return false;
    }
    d.field(tag, std::string_view(utf8, std::size_t(size)));
    return true;
}

bool add_repr(Digest& d, char tag, PyObject* o) {
    const Ref text = Ref::steal(PyObject_Repr(o));  // of an exact number: no Python code
    if (!text) {
        PyErr_Clear();
        return false;
    }
    return add_text(d, tag, text.get());
}

bool add_bytes(Digest& d, PyObject* b) {
    d.field('b', std::string_view(PyBytes_AS_STRING(b), std::size_t(PyBytes_GET_SIZE(b))));
    return true;
}

bool add_items(Digest& d, char tag, PyObject* tuple) {
    const Py_ssize_t n = PyTuple_GET_SIZE(tuple);
    d.field(tag, std::to_string(n));
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!add(d, PyTuple_GET_ITEM(tuple, i)))
            return false;
    return true;
}

// A frozenset's order follows the hashes of its items, which differ between
// processes: its items' own digests, sorted, stand for it.
bool add_set(Digest& d, PyObject* set) {
    std::vector<std::uint64_t> items;
    const Ref iterator = Ref::steal(PyObject_GetIter(set));
    if (!iterator) {
        PyErr_Clear();
        return false;
    }
    while (const Ref key = Ref::steal(PyIter_Next(iterator.get()))) {
        Digest item;
        if (!add(item, key.get()))
            return false;
        items.push_back(item.value());
    }
    if (PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    std::ranges::sort(items);
    d.field('z', std::to_string(items.size()));
    for (const std::uint64_t item : items)
        d.field('h', std::to_string(item));
    return true;
}

bool add_code(Digest& d, PyObject* o) {
    auto* const code = reinterpret_cast<PyCodeObject*>(o);
    d.field('C', std::to_string(code->co_argcount) + "," + std::to_string(code->co_posonlyargcount) + "," +
                     std::to_string(code->co_kwonlyargcount) + "," + std::to_string(code->co_flags));
    if (!add_text(d, 'n', code->co_name))
        return false;
    const Ref bytecode = Ref::steal(PyCode_GetCode(code));
    const Ref varnames = Ref::steal(PyCode_GetVarnames(code));
    const Ref cellvars = Ref::steal(PyCode_GetCellvars(code));
    const Ref freevars = Ref::steal(PyCode_GetFreevars(code));
    if (!bytecode || !varnames || !cellvars || !freevars) {
        PyErr_Clear();
        return false;
    }
    return add_bytes(d, bytecode.get()) && add_bytes(d, code->co_exceptiontable) &&
           add_items(d, 'k', code->co_consts) && add_items(d, 'm', code->co_names) &&
           add_items(d, 'v', varnames.get()) && add_items(d, 'c', cellvars.get()) &&
           add_items(d, 'f', freevars.get());
}

bool add(Digest& d, PyObject* o) {
    if (o == Py_None || o == Py_True || o == Py_False || o == Py_Ellipsis) {
        d.field('o', o == Py_None ? "None" : o == Py_True ? "True" : o == Py_False ? "False" : "Ellipsis");
        return true;
    }
    if (PyUnicode_CheckExact(o))
        return add_text(d, 's', o);
    if (PyBytes_CheckExact(o))
        return add_bytes(d, o);
    if (PyLong_CheckExact(o))
        return add_repr(d, 'i', o);
    if (PyFloat_CheckExact(o))
        return add_repr(d, 'r', o);
    if (PyComplex_CheckExact(o))
        return add_repr(d, 'j', o);
    if (PyTuple_CheckExact(o))
        return add_items(d, 't', o);
    if (PyFrozenSet_CheckExact(o))
        return add_set(d, o);
    if (PyCode_Check(o))
        return add_code(d, o);
    return false;
}

}  // namespace

std::optional<std::uint64_t> code_digest(PyObject* code) {
    if (!PyCode_Check(code))
        return std::nullopt;
    Digest d;
    if (!add_code(d, code))
        return std::nullopt;
    return d.value();
}

}  // namespace quorin::pdk::contracts::pathlib
