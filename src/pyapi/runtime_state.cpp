#include "pyapi/runtime_state.hpp"

#include <utility>

namespace quorin::py {

void RuntimeState::interpreter_ends() noexcept {
    Ref raised = Ref::steal(PyErr_GetRaisedException());
    // A release may free the module object, whose own release then empties
    // every state, this loop's later ones included: the list stays as it is.
    for (RuntimeState* s = head_; s != nullptr; s = s->next_)
        s->on_interpreter_end();
    PyErr_SetRaisedException(raised.release());
}

void RuntimeState::release_all() noexcept {
    Ref raised = Ref::steal(PyErr_GetRaisedException());
    for (const Order order : {Order::objects, Order::registrations}) {
        for (RuntimeState* s = head_; s != nullptr; s = s->next_) {
            if (s->order_ != order)
                continue;
            s->release();
            // Nothing is left to report a failure to.
            PyErr_Clear();
        }
    }
    PyErr_SetRaisedException(raised.release());
}

void RuntimeState::forget_all() noexcept {
    for (RuntimeState* s = head_; s != nullptr; s = s->next_)
        s->forget();
}

void StaticRef::reset(Ref object) noexcept {
    const bool owned_old = std::exchange(owned_, static_cast<bool>(object));
    PyObject* const old = std::exchange(object_, object.release());
    // Dropped once the new object is in place: releasing it can run code that
    // reads this reference.
    if (owned_old)
        Py_DECREF(old);
}

void StaticRef::on_interpreter_end() noexcept {
    if (held_ != Held::until_interpreter_ends || !owned_)
        return;
    owned_ = false;
    // Can free the module object, whose release clears this pointer.
    Py_DECREF(object_);
}

void StaticRef::release() noexcept {
    if (std::exchange(owned_, false))
        Py_CLEAR(object_);
    object_ = nullptr;
}

void StaticRef::forget() noexcept {
    owned_ = false;
    object_ = nullptr;
}

}  // namespace quorin::py
