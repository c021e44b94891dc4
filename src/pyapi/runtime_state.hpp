// Static storage that holds Python objects, and how long it holds them.
//
// A program that embeds the interpreter may finalise it and initialise it
// again in one process. What the module keeps in static storage belongs to
// the runtime that made it: it is released while that runtime can still free
// it, or forgotten once the runtime is gone, and the next runtime makes its
// own.
#pragma once

#include "pyapi/ref.hpp"

#include <cstdint>

namespace quorin::py {

// A piece of static state made for the module's interpreter. Each registers
// itself at static initialisation (the list head is constant-initialised, so
// the order in which files initialise does not matter) and is reached by the
// three steps below. Destroyed with the process without touching anything:
// the interpreter is gone by then.
class RuntimeState {
public:
    RuntimeState(const RuntimeState&) = delete;
    RuntimeState& operator=(const RuntimeState&) = delete;

    // The module's interpreter is finalising: its modules have been cleared,
    // finalisers may still run. Drops what would keep the module object alive.
    static void interpreter_ends() noexcept;
    // Releases everything, objects before the interpreter registrations their
    // release still uses. The interpreter is alive; the exception being
    // raised, if any, is kept.
    static void release_all() noexcept;
    // Drops every pointer without touching what it points to: the runtime
    // that made them has ended.
    static void forget_all() noexcept;

protected:
    enum class Order : std::uint8_t { objects, registrations };
    explicit RuntimeState(Order order = Order::objects) noexcept : order_(order), next_(head_) {
        head_ = this;
    }
    ~RuntimeState() = default;

    virtual void on_interpreter_end() noexcept {}
    virtual void release() noexcept = 0;
    virtual void forget() noexcept = 0;

private:
    Order order_;
    RuntimeState* next_;
    static constinit inline RuntimeState* head_ = nullptr;
};

// One reference in static storage; the one place where such references are
// taken and dropped.
class StaticRef final : public RuntimeState {
public:
    enum class Held : std::uint8_t {
        until_released,
        // Until the interpreter ends; then borrowed, valid while whatever else
        // holds the object does, until released.
        until_interpreter_ends,
    };
    StaticRef() noexcept = default;
    explicit StaticRef(Held held) noexcept : held_(held) {}

    PyObject* get() const noexcept { return object_; }
    // Holds `object` in place of the current one.
    void reset(Ref object) noexcept;

private:
    void on_interpreter_end() noexcept override;
    void release() noexcept override;
    void forget() noexcept override;

    PyObject* object_ = nullptr;
    bool owned_ = false;
    Held held_ = Held::until_released;
};

}  // namespace quorin::py
