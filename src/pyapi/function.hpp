// One function type for every callable the module creates.
#pragma once

#include "pyapi/error.hpp"
#include "pyapi/names.hpp"
#include "pyapi/ref.hpp"

#include <span>

namespace quorin::py {

enum class Kind : unsigned char { positional, keyword_only, var_positional, var_keyword };
// What the binder requires of an argument before the body runs.
enum class Check : unsigned char { none, exact_str, exact_dict, exact_list, truth };
enum class Default : unsigned char { required, true_value, empty_tuple };

struct Param {
    const char* name;
    Kind kind = Kind::positional;
    Check check = Check::none;
    Default default_value = Default::required;
};

inline constexpr std::size_t max_params = 4;

class Context;
using Impl = Ref (*)(const Context&);

// The fixed part of a function: what it is called in messages, how its
// arguments bind, its body, and where it is defined (the line a profiler
// names it by, as it names a Python function by its `def`).
struct FunctionDef {
    const char* name;
    std::span<const Param> params;
    Impl impl;
    Where defined;

    // Made from the parameter table itself, so that its size is checked
    // against the binder's array when the table is compiled. Explicit, so
    // that every definition names the type: only then is `defined` its own
    // line rather than the end of the table it is part of.
    template <std::size_t N>
    explicit constexpr FunctionDef(const char* name_, const Param (&params_)[N], Impl impl_,
                                   Where defined_ = Where::current()) noexcept
        : name(name_), params(params_), impl(impl_), defined(defined_) {
        static_assert(N <= max_params, "more parameters than the binder can bind");
    }
    explicit constexpr FunctionDef(const char* name_, Impl impl_, Where defined_ = Where::current()) noexcept
        : name(name_), params(), impl(impl_), defined(defined_) {}
};

// What a body sees: its bound arguments, its module's globals, its closure.
class Context {
public:
    Context(PyObject* function, PyObject* const* args) noexcept : function_(function), args_(args) {}

    PyObject* arg(std::size_t i) const noexcept { return args_[i]; }
    // A truth-tested argument, bound to True or False.
    bool flag(std::size_t i) const noexcept { return args_[i] == Py_True; }
    PyObject* function() const noexcept { return function_; }
    PyObject* closure() const noexcept;
    PyObject* globals() const noexcept;
    // The module global `name` at this moment, else the builtin, else NameError.
    Ref global(const Name& name, Where where = Where::current()) const;

private:
    PyObject* function_;
    PyObject* const* args_;
};

// Creates the function type for `module` (at start-up, before any function).
void create_function_type(PyObject* module);

struct FunctionInit {
    const FunctionDef* def;
    PyObject* name;
    PyObject* qualname;
    PyObject* module_name;
    PyObject* doc;                   // may be None
    PyObject* annotations;           // a dict, taken as it is; or null, and then
    PyObject* annotations_template;  // copied when first read (a constant), or null
    PyObject* globals;
    PyObject* closure;  // may be null
};

// A new function object.
Ref new_function(const FunctionInit& init);

}  // namespace quorin::py
