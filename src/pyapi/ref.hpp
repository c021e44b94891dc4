// Owning handle for a Python reference.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quorin::py {

// Holds one strong reference. Copying takes a new reference; moving steals.
class Ref {
public:
    Ref() noexcept = default;
    ~Ref() { Py_XDECREF(ptr_); }

    static Ref steal(PyObject* p) noexcept { return Ref(p); }
    static Ref borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Ref(p);
    }

    Ref(const Ref& other) noexcept : ptr_(other.ptr_) { Py_XINCREF(ptr_); }
    Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}

    // The new reference is swapped in before the old one is released, because
    // releasing can run arbitrary Python code that may look at this handle.
    Ref& operator=(const Ref& other) noexcept {
        Ref tmp(other);
        swap(tmp);
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept {
        Ref tmp(std::move(other));
        swap(tmp);
        return *this;
    }

    void swap(Ref& other) noexcept { std::swap(ptr_, other.ptr_); }
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }
    void reset() noexcept { Ref().swap(*this); }

    PyObject* get() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    bool is(PyObject* other) const noexcept { return ptr_ == other; }

private:
    explicit Ref(PyObject* p) noexcept : ptr_(p) {}
    PyObject* ptr_ = nullptr;
};

// Releases the handles in the order given, as the interpreter clears a
// Python function's locals when it returns: the first bound goes first. A
// function's handles that stand for such locals outlive the loop turn that
// bound them, as the locals do, until rebound or released here.
template <class... Refs>
void release_in_order(Refs&... refs) noexcept {
    (refs.reset(), ...);
}

}  // namespace quorin::py
