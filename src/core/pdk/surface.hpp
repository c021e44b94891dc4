// The module's surface as data: the rows start-up walks, in binding order.
#pragma once

#include "pyapi/function.hpp"

#include <span>

namespace quorin::pdk {

struct Annotation {
    const char* name;
    const char* text;
};

// A new dict of annotation names to their texts, in order.
py::Ref annotations_dict(std::span<const Annotation> annotations);

struct FunctionRow {
    py::FunctionDef def;  // name, parameters, body
    const char* qualname;
    std::span<const Annotation> annotations;
    const char* doc;  // null: no docstring
    bool cached = false;
    bool is_frozen_pdk_class = false;
};

struct LazyBinding {
    const char* global;
    const char* module;
    const char* attr;  // null: the module itself
};

extern const std::span<const LazyBinding> lazy_bindings;
// The module's functions and the class row, in the order they are bound.
extern const std::span<const FunctionRow> module_functions;
extern const std::span<const FunctionRow> frozen_pdk_methods;
extern const char* const frozen_pdk_doc;
// What every error cell is made from.
extern const FunctionRow error_cell_row;

// The annotations of a row, made once at start-up, for the functions made in
// numbers at run time to copy when they are read.
class RowAnnotations final : public py::Constant {
public:
    explicit RowAnnotations(const FunctionRow& row) noexcept : row_(row) {}

private:
    PyObject* create() const override { return annotations_dict(row_.annotations).release(); }
    const FunctionRow& row_;
};
// The key function `_sort_paths` defines at each call.
extern const FunctionRow sort_key_row;

}  // namespace quorin::pdk
