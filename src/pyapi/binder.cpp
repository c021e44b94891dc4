#include "pyapi/binder.hpp"

#include "pyapi/identifiers.hpp"
#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {

bool is_variadic(const FunctionDef& def) {
    return !def.params.empty() &&
           (def.params[0].kind == Kind::var_positional || def.params[0].kind == Kind::var_keyword);
}

Py_ssize_t positional_count(const FunctionDef& def) {
    Py_ssize_t n = 0;
    for (const Param& p : def.params)
        n += p.kind == Kind::positional;
    return n;
}

[[noreturn, gnu::cold]] void raise_count(const FunctionDef& def, Py_ssize_t expected, Py_ssize_t given) {
    raise(PyExc_TypeError, "%.200s() takes exactly %zd positional argument%.1s (%zd given)", def.name,
          expected, expected == 1 ? "" : "s", given);
}

bool same_name(PyObject* key, const char* name) {
    return PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, name) == 0;
}

// Index in `kwnames` of the keyword `name`, or -1.
Py_ssize_t find_keyword(PyObject* kwnames, const char* name) {
    const Py_ssize_t n = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < n; ++i) {
        if (same_name(PyTuple_GET_ITEM(kwnames, i), name))
            return i;
    }
    return -1;
}

Py_ssize_t find_param(const FunctionDef& def, PyObject* key) {
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        if (same_name(key, def.params[i].name))
            return Py_ssize_t(i);
    }
    return -1;
}

// Reports the first keyword that binds no parameter, as the interpreter would.
[[noreturn, gnu::cold]] void raise_bad_keyword(const FunctionDef& def, PyObject* kwnames, Py_ssize_t nargs) {
    const Py_ssize_t n = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, i);
        if (!PyUnicode_Check(key))
            raise(PyExc_TypeError, "%.200s() keywords must be strings", def.name);
        const Py_ssize_t p = find_param(def, key);
        if (p < 0)
            raise(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", def.name, key);
        if (p < nargs || find_keyword(kwnames, def.params[std::size_t(p)].name) != i)
            raise(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", def.name, key);
    }
    raise(PyExc_TypeError, "%.200s() keywords must be strings", def.name);
}

[[noreturn, gnu::cold]] void raise_type(const Param& param, PyTypeObject* expected, PyObject* value) {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 param.name, expected->tp_name, Py_TYPE(value)->tp_name);
    Error error;
    if (PyObject_TypeCheck(value, expected)) {
        // A subclass may look like the built-in type and still be refused.
        const Ref note = check(PyUnicode_FromFormat(
            "Subclasses of built-in types are refused here: pass an exact '%s' object.", expected->tp_name));
        call_method(error.exception(), names::add_note, note);
    }
    throw error;
}

PyTypeObject* required_type(Check check) {
    switch (check) {
        case Check::exact_str:
            return &PyUnicode_Type;
        case Check::exact_dict:
            return &PyDict_Type;
        case Check::exact_list:
            return &PyList_Type;
        default:
            return nullptr;
    }
}

void convert_and_check(const FunctionDef& def, BoundArgs& bound) {
    // Truth values are taken first, then the exact types, each in parameter order.
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        if (def.params[i].check == Check::truth)
            bound.values[i] = truth(bound.values[i]) ? Py_True : Py_False;
    }
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        PyTypeObject* type = required_type(def.params[i].check);
        if (type != nullptr && !Py_IS_TYPE(bound.values[i], type))
            raise_type(def.params[i], type, bound.values[i]);
    }
}

// The default of the `i`-th parameter, of `npos` positional ones, if it has one now.
Ref default_of(const FunctionDef& def, std::size_t i, Py_ssize_t npos, const Defaults& defaults) {
    const Param& param = def.params[i];
    if (param.kind == Kind::positional) {
        if (defaults.positional == nullptr || !PyTuple_Check(defaults.positional))
            return Ref();
        const Py_ssize_t first = npos - PyTuple_GET_SIZE(defaults.positional);
        const auto at = Py_ssize_t(i);
        return at >= first ? Ref::borrow(PyTuple_GET_ITEM(defaults.positional, at - first)) : Ref();
    }
    if (defaults.keyword_only == nullptr || !PyDict_Check(defaults.keyword_only))
        return Ref();
    PyObject* value = nullptr;
    check_status(PyDict_GetItemStringRef(defaults.keyword_only, param.name, &value));
    return Ref::steal(value);
}

}  // namespace

void bind(const FunctionDef& def, PyObject* const* args, size_t nargsf, PyObject* kwnames,
          const Defaults& defaults, BoundArgs& bound) {
    if (is_variadic(def))
        return;
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    if (def.params.empty()) {
        if (nkw > 0)
            raise(PyExc_TypeError, "%.200s() takes no keyword arguments", def.name);
        if (nargs > 0)
            raise(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", def.name, nargs);
        return;
    }
    const Py_ssize_t npos = positional_count(def);
    if (nargs > npos)
        raise_count(def, npos, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i)
        bound.values[std::size_t(i)] = args[i];

    Py_ssize_t used = 0;
    for (std::size_t i = std::size_t(nargs); i < def.params.size(); ++i) {
        const Param& param = def.params[i];
        const Py_ssize_t k = nkw > 0 ? find_keyword(kwnames, param.name) : -1;
        if (k >= 0) {
            bound.values[i] = args[nargs + k];
            ++used;
        } else {
            bound.defaults[i] = default_of(def, i, npos, defaults);
            if (!bound.defaults[i]) {
                if (param.kind == Kind::positional)
                    raise_count(def, npos, Py_ssize_t(i));
                raise(PyExc_TypeError, "%s() needs keyword-only argument %s", def.name, param.name);
            }
            bound.values[i] = bound.defaults[i].get();
        }
    }
    if (used < nkw)
        raise_bad_keyword(def, kwnames, nargs);
    convert_and_check(def, bound);
}

}  // namespace quorin::py
