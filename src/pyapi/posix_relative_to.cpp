#include "pyapi/posix_relative_to.hpp"

#include "pyapi/error.hpp"
#include "pyapi/identifiers.hpp"
#include "pyapi/names.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <span>

namespace quorin::py {

namespace {

// --- what the method reaches, and what it must find there -----------------

// The modules whose functions the method runs.
enum class Home : std::uint8_t { local, abc, collections_abc, posixpath };

struct Namespaces {
    PyObject* local;
    PyObject* abc;
    PyObject* collections_abc;
    PyObject* posixpath;
    PyObject* os;
    PyObject* builtins;

    PyObject* of(Home home) const noexcept {
        switch (home) {
            case Home::local:
                return local;
            case Home::abc:
                return abc;
            case Home::collections_abc:
                return collections_abc;
            case Home::posixpath:
                return posixpath;
        }
        return nullptr;
    }
};

// A name looked up on a class, and the function (plain, or behind a property,
// classmethod or staticmethod) it must lead to.
struct Method {
    const char* name;
    Home home;
    const char* qualname;
};

// Through `relative_to`, `==`, `str()`, `parents` and the making of each parent.
constexpr Method path_methods[] = {
    {.name = "relative_to", .home = Home::local, .qualname = "PurePath.relative_to"},
    {.name = "__eq__", .home = Home::local, .qualname = "PurePath.__eq__"},
    {.name = "__str__", .home = Home::local, .qualname = "PurePath.__str__"},
    {.name = "_str_normcase", .home = Home::local, .qualname = "PurePath._str_normcase"},
    {.name = "parents", .home = Home::local, .qualname = "PurePath.parents"},
    {.name = "drive", .home = Home::local, .qualname = "PurePath.drive"},
    {.name = "root", .home = Home::local, .qualname = "PurePath.root"},
    {.name = "_tail", .home = Home::local, .qualname = "PurePath._tail"},
    {.name = "_raw_path", .home = Home::local, .qualname = "PurePath._raw_path"},
    {.name = "_parse_path", .home = Home::local, .qualname = "PurePath._parse_path"},
    {.name = "_format_parsed_parts", .home = Home::local, .qualname = "PurePath._format_parsed_parts"},
    {.name = "_from_parsed_parts", .home = Home::local, .qualname = "PurePath._from_parsed_parts"},
    {.name = "_from_parsed_string", .home = Home::local, .qualname = "PurePath._from_parsed_string"},
    {.name = "with_segments", .home = Home::abc, .qualname = "PurePathBase.with_segments"},
};
constexpr Method pure_construction[] = {
    {.name = "__new__", .home = Home::local, .qualname = "PurePath.__new__"},
    {.name = "__init__", .home = Home::local, .qualname = "PurePath.__init__"},
};
constexpr Method concrete_construction[] = {
    {.name = "__new__", .home = Home::local, .qualname = "Path.__new__"},
    {.name = "__init__", .home = Home::local, .qualname = "Path.__init__"},
};
// `Path.__init__` goes on with `super().__init__`.
constexpr Method concrete_super_init{
    .name = "__init__", .home = Home::local, .qualname = "PurePath.__init__"};
// `other in path.parents`.
constexpr Method parents_methods[] = {
    {.name = "__init__", .home = Home::local, .qualname = "_PathParents.__init__"},
    {.name = "__len__", .home = Home::local, .qualname = "_PathParents.__len__"},
    {.name = "__getitem__", .home = Home::local, .qualname = "_PathParents.__getitem__"},
    {.name = "__contains__", .home = Home::collections_abc, .qualname = "Sequence.__contains__"},
    {.name = "__iter__", .home = Home::collections_abc, .qualname = "Sequence.__iter__"},
};
constexpr Method posixpath_splitdrive{
    .name = "splitdrive", .home = Home::posixpath, .qualname = "splitdrive"};

// Object slots the methods read and fill.
constexpr const char* path_slots[] = {"_raw_paths",   "_drv", "_root",
                                      "_tail_cached", "_str", "_str_normcase_cached"};
constexpr const char* parents_slots[] = {"_path", "_drv", "_root", "_tail"};

// Builtins the methods' code names; the module must not shadow them.
struct Builtin {
    const char* name;
    PyObject* object;  // null: the builtin function of that name
};
std::array<Builtin, 10> builtins_used() {
    return {{
        {.name = "enumerate", .object = reinterpret_cast<PyObject*>(&PyEnum_Type)},
        {.name = "str", .object = reinterpret_cast<PyObject*>(&PyUnicode_Type)},
        {.name = "slice", .object = reinterpret_cast<PyObject*>(&PySlice_Type)},
        {.name = "object", .object = reinterpret_cast<PyObject*>(&PyBaseObject_Type)},
        {.name = "super", .object = reinterpret_cast<PyObject*>(&PySuper_Type)},
        {.name = "type", .object = reinterpret_cast<PyObject*>(&PyType_Type)},
        {.name = "ValueError", .object = PyExc_ValueError},
        {.name = "IndexError", .object = PyExc_IndexError},
        {.name = "isinstance", .object = nullptr},
        {.name = "len", .object = nullptr},
    }};
}

// --- lookups that run no Python code ----------------------------------------

Ref interned(const char* text) {
    return check(PyUnicode_InternFromString(text));
}

// `dict[name]`, borrowed; null where missing.
PyObject* item(PyObject* dict, const char* name) {
    PyObject* const found = PyDict_GetItemWithError(dict, interned(name).get());
    if (found == nullptr && PyErr_Occurred())
        throw_raised();
    return found;
}

PyObject* lookup(PyTypeObject* type, const char* name) {
    return _PyType_Lookup(type, interned(name).get());  // borrowed
}

// The function behind a class attribute: itself, or its property's getter, or
// the function a classmethod or staticmethod wraps.
Ref function_behind(PyObject* attribute) {
    if (attribute == nullptr)
        return {};
    if (PyFunction_Check(attribute))
        return Ref::borrow(attribute);
    if (Py_IS_TYPE(attribute, &PyProperty_Type))
        return check(PyObject_GetAttr(attribute, names::fget));
    if (Py_IS_TYPE(attribute, &PyClassMethod_Type) || Py_IS_TYPE(attribute, &PyStaticMethod_Type))
        return check(PyObject_GetAttr(attribute, names::dunder_func));
    return {};
}

// Defined by the standard library's own source, unchanged: its module's
// namespace, its name in the source, no defaults of its own but `walk_up=False`.
bool is_standard_function(PyObject* attribute, const Method& method, const Namespaces& ns) {
    const Ref function = function_behind(attribute);
    if (!function || !PyFunction_Check(function.get()))
        return false;
    auto* const f = reinterpret_cast<PyFunctionObject*>(function.get());
    const auto* const code = reinterpret_cast<PyCodeObject*>(f->func_code);
    if (f->func_globals != ns.of(method.home) || f->func_builtins != ns.builtins ||
        PyUnicode_CompareWithASCIIString(code->co_qualname, method.qualname) != 0 ||
        f->func_defaults != nullptr)
        return false;
    if (std::strcmp(method.name, "relative_to") != 0)
        return f->func_kwdefaults == nullptr;
    PyObject* const kwdefaults = f->func_kwdefaults;
    return kwdefaults != nullptr && PyDict_CheckExact(kwdefaults) && PyDict_GET_SIZE(kwdefaults) == 1 &&
           item(kwdefaults, "walk_up") == Py_False;
}

bool has_standard_methods(PyTypeObject* type, std::span<const Method> methods, const Namespaces& ns) {
    for (const Method& method : methods) {
        if (!is_standard_function(lookup(type, method.name), method, ns))
            return false;
    }
    return true;
}

// `super(defining_class, o).name` for an object of `type`, where the class
// found first for `name` is the defining class.
PyObject* lookup_after_first(PyTypeObject* type, const char* name) {
    const Ref key = interned(name);
    PyObject* const mro = type->tp_mro;
    bool passed_first = false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        PyObject* const dict = reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i))->tp_dict;
        PyObject* const found = PyDict_GetItemWithError(dict, key.get());
        if (found == nullptr)
            continue;
        if (passed_first)
            return found;
        passed_first = true;
    }
    return nullptr;
}

// A plain object slot of `owner`, read and written as is; its offset, or 0.
Py_ssize_t slot_offset(PyTypeObject* type, const char* name, PyTypeObject* owner) {
    PyObject* const descriptor = lookup(type, name);
    if (descriptor == nullptr || !Py_IS_TYPE(descriptor, &PyMemberDescr_Type))
        return 0;
    const auto* const member = reinterpret_cast<PyMemberDescrObject*>(descriptor);
    if (member->d_common.d_type != owner || member->d_member->type != Py_T_OBJECT_EX ||
        member->d_member->flags != 0)
        return 0;
    return member->d_member->offset;
}

bool is_builtin_function(PyObject* o, const char* name, PyObject* module_dict) {
    if (o == nullptr || !PyCFunction_Check(o))
        return false;
    PyObject* const self = PyCFunction_GET_SELF(o);
    return std::strcmp(reinterpret_cast<PyCFunctionObject*>(o)->m_ml->ml_name, name) == 0 &&
           self != nullptr && PyModule_Check(self) &&
           (module_dict == nullptr || PyModule_GetDict(self) == module_dict);
}

// Builtins as the methods' code finds them: not shadowed by their modules.
bool builtins_are_standard(const Namespaces& ns) {
    for (const Builtin& builtin : builtins_used()) {
        for (PyObject* dict : {ns.local, ns.abc, ns.collections_abc}) {
            if (item(dict, builtin.name) != nullptr)
                return false;
        }
        PyObject* const found = item(ns.builtins, builtin.name);
        if (builtin.object != nullptr ? found != builtin.object
                                      : !is_builtin_function(found, builtin.name, ns.builtins))
            return false;
    }
    return true;
}

bool is_module_with_dict(PyObject* o, PyObject* dict) {
    return o != nullptr && PyModule_CheckExact(o) && PyModule_GetDict(o) == dict;
}

// A class made by a plain class statement, whose attributes are found and set
// the default way.
bool is_plain_class(PyTypeObject* type) {
    return Py_TYPE(type)->tp_call == PyType_Type.tp_call && type->tp_getattro == PyObject_GenericGetAttr &&
           type->tp_setattro == PyObject_GenericSetAttr;
}

PyTypeObject* as_type(PyObject* o) {
    return o != nullptr && PyType_Check(o) ? reinterpret_cast<PyTypeObject*>(o) : nullptr;
}

Ref module_dict(const char* name) {
    const Ref module = Ref::steal(PyImport_GetModule(interned(name).get()));
    if (!module || !PyModule_CheckExact(module.get())) {
        PyErr_Clear();
        return {};
    }
    return Ref::borrow(PyModule_GetDict(module.get()));
}

unsigned int version_of(const Ref& type) noexcept {
    return type ? reinterpret_cast<PyTypeObject*>(type.get())->tp_version_tag : 0;
}

PyObject*& slot(PyObject* o, Py_ssize_t offset) noexcept {
    return *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + offset);
}

char32_t at(PyObject* text, Py_ssize_t i) noexcept {
    return PyUnicode_READ_CHAR(text, i);
}

// Normalised POSIX texts: an anchor ("/", or "//" for exactly two leading
// slashes) or nothing, then non-empty parts other than "." joined by "/"; the
// empty path is ".". The parents of a path are its texts cut before each "/"
// after the anchor, the bare anchor, and "." for a relative path.
// Whether `other` is `path` or one of its parents.
bool posix_text_is_or_contains(PyObject* path, PyObject* other) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(path);
    const Py_ssize_t m = PyUnicode_GET_LENGTH(other);
    if (m > n || m == 0)
        return false;
    const char32_t first = at(other, 0);
    if (m == 1 && first == U'.')
        return at(path, 0) != U'/';
    if (m == n)
        return PyUnicode_Tailmatch(path, other, 0, n, -1) == 1;
    if (m == 1 && first == U'/')
        return at(path, 0) == U'/' && at(path, 1) != U'/';
    if (m == 2 && first == U'/' && at(other, 1) == U'/')
        return at(path, 0) == U'/' && at(path, 1) == U'/';
    return at(path, m) == U'/' && PyUnicode_Tailmatch(path, other, 0, m, -1) == 1;
}

}  // namespace

// --- the scope ----------------------------------------------------------------

PosixRelativeTo::PosixRelativeTo()
    : local_(module_dict("pathlib._local")),
      abc_(module_dict("pathlib._abc")),
      collections_abc_(module_dict("_collections_abc")),
      posixpath_(module_dict("posixpath")),
      os_(module_dict("os")),
      builtins_(Ref::steal(PyEval_GetFrameBuiltins())) {
    if (!builtins_)
        PyErr_Clear();
    if (local_ && abc_ && collections_abc_ && posixpath_ && os_ && builtins_)
        dict_changes_.emplace(std::initializer_list<PyObject*>{
            local_.get(), abc_.get(), collections_abc_.get(), posixpath_.get(), os_.get(), builtins_.get()});
}

PosixRelativeTo::Stamp PosixRelativeTo::stamp() const noexcept {
    return {.dicts = DictChanges::generation(),
            .functions = FunctionChanges::generation(),
            .pure = version_of(pure_),
            .concrete = version_of(concrete_),
            .parents = version_of(parents_)};
}

bool PosixRelativeTo::standard() {
    if (checked_ && *checked_ == stamp()) [[likely]]
        return standard_;
    standard_ = check_standard();
    checked_ = stamp();
    return standard_;
}

bool PosixRelativeTo::check_standard() {
    pure_.reset();
    concrete_.reset();
    parents_.reset();
    if (!dict_changes_ || !dict_changes_->watching() || !function_changes_.watching())
        return false;
    const Namespaces ns{.local = local_.get(),
                        .abc = abc_.get(),
                        .collections_abc = collections_abc_.get(),
                        .posixpath = posixpath_.get(),
                        .os = os_.get(),
                        .builtins = builtins_.get()};
    PyTypeObject* const pure = as_type(item(ns.local, "PurePosixPath"));
    PyTypeObject* const concrete = as_type(item(ns.local, "PosixPath"));
    PyTypeObject* const parents = as_type(item(ns.local, "_PathParents"));
    PyTypeObject* const base = as_type(item(ns.local, "PurePath"));
    if (pure == nullptr || concrete == nullptr || parents == nullptr || base == nullptr)
        return false;
    // Tags first: a lookup below may give a class its tag, and the tags
    // vouch for everything found on the class.
    for (PyTypeObject* type : {pure, concrete, parents}) {
        if (PyUnstable_Type_AssignVersionTag(type) == 0)
            return false;
    }
    pure_ = Ref::borrow(reinterpret_cast<PyObject*>(pure));
    concrete_ = Ref::borrow(reinterpret_cast<PyObject*>(concrete));
    parents_ = Ref::borrow(reinterpret_cast<PyObject*>(parents));

    for (PyTypeObject* type : {pure, concrete}) {
        if (Py_TYPE(type) != &PyType_Type || !is_plain_class(type) || !PyType_IsSubtype(type, base) ||
            !has_standard_methods(type, path_methods, ns) ||
            !is_module_with_dict(lookup(type, "parser"), ns.posixpath))
            return false;
        for (const char* name : path_slots) {
            if (slot_offset(type, name, base) == 0)
                return false;
        }
    }
    if (!has_standard_methods(pure, pure_construction, ns) ||
        !has_standard_methods(concrete, concrete_construction, ns) ||
        !is_standard_function(lookup_after_first(concrete, "__init__"), concrete_super_init, ns))
        return false;
    if (!is_plain_class(parents) || !has_standard_methods(parents, parents_methods, ns) ||
        lookup(parents, "__new__") != lookup(&PyBaseObject_Type, "__new__"))
        return false;
    for (const char* name : parents_slots) {
        if (slot_offset(parents, name, parents) == 0)
            return false;
    }

    // The names the methods read from their module.
    PyObject* const chain = item(ns.local, "chain");
    PyObject* const sep = item(ns.posixpath, "sep");
    PyObject* const os = item(ns.local, "os");
    if (lookup(base, "relative_to") != item(base->tp_dict, "relative_to") ||
        !is_module_with_dict(item(ns.local, "posixpath"), ns.posixpath) || !is_module_with_dict(os, ns.os) ||
        !is_builtin_function(item(ns.os, "fspath"), "fspath", nullptr) || as_type(chain) == nullptr ||
        std::strcmp(as_type(chain)->tp_name, "itertools.chain") != 0 ||
        !PyType_HasFeature(as_type(chain), Py_TPFLAGS_IMMUTABLETYPE) || sep == nullptr ||
        !PyUnicode_CheckExact(sep) || PyUnicode_CompareWithASCIIString(sep, "/") != 0 ||
        !builtins_are_standard(ns))
        return false;
    if (!is_standard_function(item(ns.posixpath, "splitdrive"), posixpath_splitdrive, ns) ||
        !is_builtin_function(item(ns.posixpath, "splitroot"), "_path_splitroot_ex", nullptr))
        return false;

    offsets_ = {.str = slot_offset(pure, "_str", base),
                .normcase = slot_offset(pure, "_str_normcase_cached", base),
                .drv = slot_offset(pure, "_drv", base),
                .root = slot_offset(pure, "_root", base),
                .tail = slot_offset(pure, "_tail_cached", base)};
    return true;
}

PyObject* PosixRelativeTo::compared_text(PyObject* path) {
    PyObject*& normcase = slot(path, offsets_.normcase);
    // What `_str_normcase` starts with when it has nothing kept.
    if (normcase == nullptr && slot(path, offsets_.str) == nullptr)
        (void)check(PyObject_Str(path));
    // The method reads the parsed parts through `parents`, and the text again
    // for its message; where either is missing it would make it, and that is
    // left to it.
    PyObject* const text = slot(path, offsets_.str);
    if (text == nullptr || slot(path, offsets_.drv) == nullptr || slot(path, offsets_.root) == nullptr ||
        slot(path, offsets_.tail) == nullptr)
        return nullptr;
    // `_str_normcase` keeps `str(path)` itself for a POSIX path.
    if (normcase == nullptr)
        normcase = Py_NewRef(text);
    return PyUnicode_CheckExact(normcase) ? normcase : nullptr;
}

PosixRelativeTo::Answer PosixRelativeTo::answer(PyObject* path, PyObject* other) {
    if (!standard() || !is_standard_path(path) || !is_standard_path(other))
        return Answer::ask_the_method;
    // In the method's order: `other` is looked at first.
    const Ref other_text = Ref::borrow(compared_text(other));
    if (!other_text)
        return Answer::ask_the_method;
    const Ref path_text = Ref::borrow(compared_text(path));
    // `str()` ran the standard library's code: the checks must still hold.
    if (!path_text || !standard())
        return Answer::ask_the_method;
    return posix_text_is_or_contains(path_text.get(), other_text.get()) ? Answer::returns
                                                                        : Answer::raises_value_error;
}

}  // namespace quorin::py
