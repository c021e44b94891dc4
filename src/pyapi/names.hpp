// Interned strings and keyword-name tuples, created once at start-up.
#pragma once

#include "pyapi/ref.hpp"
#include "pyapi/runtime_state.hpp"

#include <array>
#include <cstddef>

namespace quorin::py {

// A Python constant created before the module runs any code: every constant
// registers itself at static initialisation (the list head is constant-
// initialised, so the order in which files initialise does not matter) and is
// created by `create_all`. Constants live as long as the module's runtime,
// and a new runtime creates them again. Names are declared in the identifier
// tables (pyapi/, contracts/ and core/pdk/identifiers.hpp).
class Constant {
public:
    Constant(const Constant&) = delete;
    Constant& operator=(const Constant&) = delete;

    PyObject* get() const noexcept { return object_.get(); }
    operator PyObject*() const noexcept { return object_.get(); }

    // Creates every registered constant not created yet; throws on failure.
    static void create_all();

protected:
    Constant() noexcept : next_(head_) { head_ = this; }
    ~Constant() = default;
    virtual PyObject* create() const = 0;

private:
    StaticRef object_;
    Constant* next_;
    static constinit inline Constant* head_ = nullptr;
};

// An interned `str`, for attribute, global and keyword names.
class Name final : public Constant {
public:
    explicit Name(const char* text) noexcept : text_(text) {}
    const char* text() const noexcept { return text_; }

private:
    PyObject* create() const override;
    const char* text_;
};

// A new tuple of `n` interned strings.
PyObject* new_name_tuple(const char* const* names, std::size_t n);

// A tuple of interned strings: keyword names as vectorcall takes them, or a
// constant tuple of names. Its size is part of its type, so a call can check
// at compile time that it has a value for every keyword.
template <std::size_t N>
class NameTuple final : public Constant {
public:
    template <class... Texts>
        requires(sizeof...(Texts) == N)
    NameTuple(const Texts&... names) noexcept : names_{names...} {}
    static constexpr Py_ssize_t size() noexcept { return Py_ssize_t(N); }

private:
    PyObject* create() const override { return new_name_tuple(names_.data(), N); }
    std::array<const char*, N> names_;
};
template <class... Texts>
NameTuple(const Texts&...) -> NameTuple<sizeof...(Texts)>;

}  // namespace quorin::py
