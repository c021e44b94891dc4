// The interned names the C++ layer over the C API uses itself: one table,
// each text declared once, as the interpreter keeps its own identifiers.
//
// There are three tables, this one, the contracts' (contracts/identifiers.hpp)
// and the module's (core/pdk/identifiers.hpp), because this layer knows nothing
// of PDKs and the contracts nothing of the module; each extends the one below,
// so a text is declared in one of them and `names::<text>` finds it from above.
// A name goes here only when code of this layer uses it.
//
// A constant is named after the text it holds:
// - an identifier is its own name: "update" is `names::update`;
// - a dunder drops its underscores for a `dunder_` prefix (C++ reserves
//   double underscores): "__func__" is `names::dunder_func`;
// - a C++ keyword, or a text that a platform header defines as a macro, takes
//   a trailing underscore: "return" is `names::return_`, "ERROR" `names::ERROR_`;
// - a dotted text joins its parts with `_`: "lumset.gpdk" is
//   `names::lumset_gpdk`; the empty text is `names::empty_text`;
// - a tuple of keyword names is `kw_` and its texts joined by `_`; any other
//   tuple of names is `tuple_` and its texts.
//
// Each is an inline variable: one object for the whole program, registered
// with `Constant` at static initialisation and created by
// `Constant::create_all()` at start-up.
#pragma once

#include "pyapi/names.hpp"

namespace quorin::py::names {

inline Name empty_text{""};
inline Name add_note{"add_note"};
inline Name dunder_builtins{"__builtins__"};
inline Name dunder_func{"__func__"};
inline Name empty{"empty"};
inline Name fget{"fget"};
inline Name inspect{"inspect"};
inline Name items{"items"};
inline Name Parameter{"Parameter"};
inline Name return_{"return"};
inline Name Signature{"Signature"};
inline Name update{"update"};

inline NameTuple kw_default_annotation{"default", "annotation"};
inline NameTuple kw_key{"key"};
inline NameTuple kw_return_annotation{"return_annotation"};

}  // namespace quorin::py::names
