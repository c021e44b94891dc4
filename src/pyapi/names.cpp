#include "pyapi/names.hpp"

#include "pyapi/error.hpp"

namespace quorin::py {

void Constant::create_all() {
    for (Constant* c = head_; c != nullptr; c = c->next_) {
        if (c->object_.get() == nullptr)
            c->object_.reset(check(c->create()));
    }
}

PyObject* Name::create() const {
    return PyUnicode_InternFromString(text_);
}

PyObject* new_name_tuple(const char* const* names, std::size_t n) {
    Ref tuple = check(PyTuple_New(Py_ssize_t(n)));
    for (std::size_t i = 0; i < n; ++i)
        PyTuple_SET_ITEM(tuple.get(), Py_ssize_t(i), check(PyUnicode_InternFromString(names[i])).release());
    return tuple.release();
}

}  // namespace quorin::py
