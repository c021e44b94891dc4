#include "pyapi/names.hpp"

#include "pyapi/error.hpp"

#include <iterator>

namespace quorin::py {

void Constant::create_all() {
    for (Constant* c = head_; c != nullptr; c = c->next_) {
        if (c->object_ == nullptr)
            c->object_ = check(c->create()).release();
    }
}

PyObject* Name::create() const {
    return PyUnicode_InternFromString(text_);
}

NameTuple::NameTuple(std::initializer_list<const char*> names) noexcept {
    for (const char* n : names) {
        if (count_ < Py_ssize_t(std::size(names_)))
            names_[count_++] = n;
    }
}

PyObject* NameTuple::create() const {
    Ref tuple = check(PyTuple_New(count_));
    for (Py_ssize_t i = 0; i < count_; ++i)
        PyTuple_SET_ITEM(tuple.get(), i, check(PyUnicode_InternFromString(names_[i])).release());
    return tuple.release();
}

}  // namespace quorin::py
