#include "contracts/pathlib/posix_relative_to.hpp"

#include "contracts/identifiers.hpp"
#include "contracts/pathlib/code_digest.hpp"
#include "contracts/pathlib/known_code.hpp"
#include "pyapi/error.hpp"
#include "pyapi/members.hpp"
#include "pyapi/runtime_state.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

namespace quorin::pdk::contracts::pathlib {

namespace {

using py::field;
using py::Name;

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
    const Name* name;
    Home home;
    const char* qualname;
};

// Through `relative_to`, `==`, `str()`, `parents` and the making of each
// parent. The order of all the lists below is the order of a row of digests.
constexpr Method path_methods[] = {
    {.name = &names::relative_to, .home = Home::local, .qualname = "PurePath.relative_to"},
    {.name = &names::dunder_eq, .home = Home::local, .qualname = "PurePath.__eq__"},
    {.name = &names::dunder_str, .home = Home::local, .qualname = "PurePath.__str__"},
    {.name = &names::_str_normcase, .home = Home::local, .qualname = "PurePath._str_normcase"},
    {.name = &names::parents, .home = Home::local, .qualname = "PurePath.parents"},
    {.name = &names::drive, .home = Home::local, .qualname = "PurePath.drive"},
    {.name = &names::root, .home = Home::local, .qualname = "PurePath.root"},
    {.name = &names::_tail, .home = Home::local, .qualname = "PurePath._tail"},
    {.name = &names::_raw_path, .home = Home::local, .qualname = "PurePath._raw_path"},
    {.name = &names::_parse_path, .home = Home::local, .qualname = "PurePath._parse_path"},
    {.name = &names::_format_parsed_parts, .home = Home::local, .qualname = "PurePath._format_parsed_parts"},
    {.name = &names::_from_parsed_parts, .home = Home::local, .qualname = "PurePath._from_parsed_parts"},
    {.name = &names::_from_parsed_string, .home = Home::local, .qualname = "PurePath._from_parsed_string"},
    {.name = &names::with_segments, .home = Home::abc, .qualname = "PurePathBase.with_segments"},
};
constexpr Method pure_construction[] = {
    {.name = &names::dunder_new, .home = Home::local, .qualname = "PurePath.__new__"},
    {.name = &names::dunder_init, .home = Home::local, .qualname = "PurePath.__init__"},
};
constexpr Method concrete_construction[] = {
    {.name = &names::dunder_new, .home = Home::local, .qualname = "Path.__new__"},
    {.name = &names::dunder_init, .home = Home::local, .qualname = "Path.__init__"},
};
// `Path.__init__` goes on with `super().__init__`.
constexpr Method concrete_super_init{
    .name = &names::dunder_init, .home = Home::local, .qualname = "PurePath.__init__"};
// `other in path.parents`.
constexpr Method parents_methods[] = {
    {.name = &names::dunder_init, .home = Home::local, .qualname = "_PathParents.__init__"},
    {.name = &names::dunder_len, .home = Home::local, .qualname = "_PathParents.__len__"},
    {.name = &names::dunder_getitem, .home = Home::local, .qualname = "_PathParents.__getitem__"},
    {.name = &names::dunder_contains, .home = Home::collections_abc, .qualname = "Sequence.__contains__"},
    {.name = &names::dunder_iter, .home = Home::collections_abc, .qualname = "Sequence.__iter__"},
};
constexpr Method posixpath_splitdrive{
    .name = &names::splitdrive, .home = Home::posixpath, .qualname = "splitdrive"};

static_assert(std::size(path_methods) + std::size(pure_construction) + std::size(concrete_construction) + 1 +
                  std::size(parents_methods) + 1 ==
              reached_functions);

// Object slots the methods read and fill.
constexpr const Name* path_slots[] = {&names::_raw_paths,   &names::_drv, &names::_root,
                                      &names::_tail_cached, &names::_str, &names::_str_normcase_cached};
constexpr const Name* parents_slots[] = {&names::_path, &names::_drv, &names::_root, &names::_tail};

// Builtins the methods' code names; the module must not shadow them.
struct Builtin {
    const Name* name;
    PyObject* object;  // null: the builtin function of that name
};
std::array<Builtin, 10> builtins_used() {
    return {{
        {.name = &names::enumerate, .object = reinterpret_cast<PyObject*>(&PyEnum_Type)},
        {.name = &names::str, .object = reinterpret_cast<PyObject*>(&PyUnicode_Type)},
        {.name = &names::slice, .object = reinterpret_cast<PyObject*>(&PySlice_Type)},
        {.name = &names::object, .object = reinterpret_cast<PyObject*>(&PyBaseObject_Type)},
        {.name = &names::super, .object = reinterpret_cast<PyObject*>(&PySuper_Type)},
        {.name = &names::type, .object = reinterpret_cast<PyObject*>(&PyType_Type)},
        {.name = &names::ValueError, .object = PyExc_ValueError},
        {.name = &names::IndexError, .object = PyExc_IndexError},
        {.name = &names::isinstance, .object = nullptr},
        {.name = &names::len, .object = nullptr},
    }};
}

// --- lookups that run no Python code ----------------------------------------

// `dict[name]`, borrowed; null where missing.
PyObject* item(PyObject* dict, PyObject* name) {
    PyObject* const found = PyDict_GetItemWithError(dict, name);
    if (found == nullptr && PyErr_Occurred())
        py::throw_raised();
    return found;
}

PyObject* lookup(PyTypeObject* type, PyObject* name) {
    return _PyType_Lookup(type, name);  // borrowed
}

// The offset of the field that holds the function behind a property,
// classmethod or staticmethod: these can be set up again in place.
Py_ssize_t wrapped_offset(PyTypeObject* wrapper, PyObject* name) {
    return py::member_offset(wrapper, name, wrapper, _Py_T_OBJECT, Py_READONLY);
}

// What a check finds and keeps: the digests of the functions, in the order of
// a row of the table, and the fields to read again at every answer.
struct Findings {
    std::vector<std::uint64_t> digests;
    struct Place {
        PyObject* owner;
        Py_ssize_t offset;
        PyObject* value;  // as it was when the digest was taken
    };
    std::vector<Place> fields;

    void field(PyObject* owner, Py_ssize_t offset) {
        fields.push_back({.owner = owner, .offset = offset, .value = py::field(owner, offset)});
    }
};

// The function behind a class attribute: itself, or its property's getter, or
// the function a classmethod or staticmethod wraps; the wrapper's field is
// kept among the findings.
PyObject* function_behind(PyObject* attribute, Findings& found) {
    if (attribute == nullptr)
        return nullptr;
    if (PyFunction_Check(attribute))
        return attribute;
    PyTypeObject* const type = Py_TYPE(attribute);
    Py_ssize_t offset = 0;
    if (type == &PyProperty_Type)
        offset = wrapped_offset(type, names::fget);
    else if (type == &PyClassMethod_Type || type == &PyStaticMethod_Type)
        offset = wrapped_offset(type, names::dunder_func);
    if (offset == 0)
        return nullptr;
    found.field(attribute, offset);
    return field(attribute, offset);
}

// Defined by the standard library's own source: its module's namespace, its
// name in the source, no defaults of its own but `walk_up=False` (read at
// every answer); its code's digest kept, its code, defaults and free
// variables kept for reading again.
bool is_standard_function(PyObject* attribute, const Method& method, const Namespaces& ns, Findings& found) {
    PyObject* const function = function_behind(attribute, found);
    if (function == nullptr || !PyFunction_Check(function))
        return false;
    auto* const f = reinterpret_cast<PyFunctionObject*>(function);
    const auto* const code = reinterpret_cast<PyCodeObject*>(f->func_code);
    if (f->func_globals != ns.of(method.home) || f->func_builtins != ns.builtins ||
        PyUnicode_CompareWithASCIIString(code->co_qualname, method.qualname) != 0 ||
        f->func_defaults != nullptr ||
        (f->func_kwdefaults != nullptr) != (method.name == &names::relative_to))
        return false;
    const std::optional<std::uint64_t> digest = code_digest(f->func_code);
    if (!digest)
        return false;
    found.digests.push_back(*digest);
    found.field(function, offsetof(PyFunctionObject, func_code));
    found.field(function, offsetof(PyFunctionObject, func_defaults));
    found.field(function, offsetof(PyFunctionObject, func_kwdefaults));
    if (PyObject* const closure = f->func_closure) {
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(closure); ++i)
            found.field(PyTuple_GET_ITEM(closure, i), offsetof(PyCellObject, ob_ref));
    }
    return true;
}

bool has_standard_methods(PyTypeObject* type, std::span<const Method> methods, const Namespaces& ns,
                          Findings& found) {
    return std::ranges::all_of(methods, [&](const Method& method) {
        return is_standard_function(lookup(type, *method.name), method, ns, found);
    });
}

// `super(start, o).name` for an object of `type`: the first class after
// `start` in the MRO that defines `name`; null where `start` is not in it.
Ref lookup_after(PyTypeObject* type, PyObject* start, PyObject* name) {
    PyObject* const mro = type->tp_mro;
    bool passed = false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
        auto* const base = reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i));
        if (!passed) {
            passed = reinterpret_cast<PyObject*>(base) == start;
            continue;
        }
        // A static type keeps its dict with the interpreter, not in `tp_dict`.
        const Ref dict = Ref::steal(PyType_GetDict(base));
        if (PyObject* const found = item(dict.get(), name))
            return Ref::borrow(found);
    }
    return {};
}

// The class `Path.__init__`'s `super()` starts from: its `__class__` cell.
PyObject* super_class_of(PyObject* attribute) {
    if (attribute == nullptr || !PyFunction_Check(attribute))
        return nullptr;
    PyObject* const closure = reinterpret_cast<PyFunctionObject*>(attribute)->func_closure;
    if (closure == nullptr || PyTuple_GET_SIZE(closure) != 1)
        return nullptr;
    return PyCell_GET(PyTuple_GET_ITEM(closure, 0));
}

Py_ssize_t slot_offset(PyTypeObject* type, PyObject* name, PyTypeObject* owner) {
    return py::member_offset(type, name, owner, Py_T_OBJECT_EX, 0);
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
            if (item(dict, *builtin.name) != nullptr)
                return false;
        }
        PyObject* const found = item(ns.builtins, *builtin.name);
        if (builtin.object != nullptr ? found != builtin.object
                                      : !is_builtin_function(found, builtin.name->text(), ns.builtins))
            return false;
    }
    return true;
}

bool is_module_with_dict(PyObject* o, PyObject* dict) {
    return o != nullptr && PyModule_CheckExact(o) && PyModule_GetDict(o) == dict;
}

// A class made by a plain class statement, whose attributes are found and set
// the default way, and whose objects have no `__dict__`.
bool is_plain_class(PyTypeObject* type) {
    return Py_TYPE(type)->tp_call == PyType_Type.tp_call && type->tp_getattro == PyObject_GenericGetAttr &&
           type->tp_setattro == PyObject_GenericSetAttr && type->tp_dictoffset == 0 &&
           !PyType_HasFeature(type, Py_TPFLAGS_MANAGED_DICT);
}

PyTypeObject* as_type(PyObject* o) {
    return o != nullptr && PyType_Check(o) ? reinterpret_cast<PyTypeObject*>(o) : nullptr;
}

Ref module_dict(PyObject* name) {
    const Ref module = Ref::steal(PyImport_GetModule(name));
    if (!module || !PyModule_CheckExact(module.get())) {
        PyErr_Clear();
        return {};
    }
    return Ref::borrow(PyModule_GetDict(module.get()));
}

unsigned int version_of(const Ref& type) noexcept {
    return type ? reinterpret_cast<PyTypeObject*>(type.get())->tp_version_tag : 0;
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

// Whether the digests are a row of the table: every function as one release
// has it.
bool is_known_release(const std::vector<std::uint64_t>& digests) {
    return std::ranges::any_of(known_releases, [&](const KnownRelease& release) {
        return std::ranges::equal(release.digests, digests);
    });
}

}  // namespace

// --- the scope ----------------------------------------------------------------

namespace {

// The scope belongs to the module's runtime: what it holds and watches is
// that interpreter's. Deleted when the module's state is released; never
// destroyed once its runtime has gone, nor at exit, when its references must
// not be touched.
class Scope final : public py::RuntimeState {
public:
    PosixRelativeTo* scope = nullptr;

private:
    void release() noexcept override { delete std::exchange(scope, nullptr); }
    void forget() noexcept override { scope = nullptr; }
};
Scope runtime_scope;

}  // namespace

PosixRelativeTo& PosixRelativeTo::instance() {
    if (runtime_scope.scope == nullptr)
        runtime_scope.scope = new PosixRelativeTo();
    return *runtime_scope.scope;
}

PosixRelativeTo::Stamp PosixRelativeTo::stamp() const noexcept {
    return {.dicts = py::DictChanges::generation(),
            .pure = version_of(pure_),
            .concrete = version_of(concrete_),
            .parents = version_of(parents_)};
}

bool PosixRelativeTo::watch_namespaces() {
    if (dict_changes_)
        return dict_changes_->watching();
    local_ = module_dict(names::pathlib_local);
    abc_ = module_dict(names::pathlib_abc);
    collections_abc_ = module_dict(names::_collections_abc);
    posixpath_ = module_dict(names::posixpath);
    os_ = module_dict(names::os);
    builtins_ = Ref::steal(PyEval_GetFrameBuiltins());
    if (!builtins_)
        PyErr_Clear();
    // Until pathlib is imported there is nothing to watch; asked again next time.
    if (!(local_ && abc_ && collections_abc_ && posixpath_ && os_ && builtins_))
        return false;
    dict_changes_.emplace(std::initializer_list<PyObject*>{local_.get(), abc_.get(), collections_abc_.get(),
                                                           posixpath_.get(), os_.get(), builtins_.get()});
    return dict_changes_->watching();
}

bool PosixRelativeTo::unchanged_in_place() const noexcept {
    for (const Field& f : fields_) {
        if (*f.address != f.value)
            return false;
    }
    // The defaults dict of `relative_to` is its own: `{"walk_up": False}`.
    PyObject* const kwdefaults = kwdefaults_.get();
    if (PyDict_GET_SIZE(kwdefaults) != 1)
        return false;
    Py_ssize_t pos = 0;
    PyObject* key;
    PyObject* value;
    (void)PyDict_Next(kwdefaults, &pos, &key, &value);
    return value == Py_False && (key == names::walk_up.get() ||
                                 (PyUnicode_CheckExact(key) && PyUnicode_Compare(key, names::walk_up) == 0));
}

bool PosixRelativeTo::standard() {
    if (checked_ && *checked_ == stamp()) [[likely]]
        return standard_ && unchanged_in_place();
    // A check that ran code which changed what it looked at is not kept: the
    // next answer checks again.
    const std::uint64_t dicts = py::DictChanges::generation();
    standard_ = check_standard();
    checked_ = stamp();
    if (checked_->dicts != dicts || checked_->pure != tags_.pure || checked_->concrete != tags_.concrete ||
        checked_->parents != tags_.parents)
        checked_.reset();
    return standard_ && checked_ && unchanged_in_place();
}

bool PosixRelativeTo::check_standard() {
    pure_.reset();
    concrete_.reset();
    parents_.reset();
    fields_.clear();
    held_.clear();
    kwdefaults_.reset();
    tags_ = stamp();
    if (!watch_namespaces())
        return false;
    const Namespaces ns{.local = local_.get(),
                        .abc = abc_.get(),
                        .collections_abc = collections_abc_.get(),
                        .posixpath = posixpath_.get(),
                        .os = os_.get(),
                        .builtins = builtins_.get()};
    PyTypeObject* const pure = as_type(item(ns.local, names::PurePosixPath));
    PyTypeObject* const concrete = as_type(item(ns.local, names::PosixPath));
    PyTypeObject* const parents = as_type(item(ns.local, names::_PathParents));
    PyTypeObject* const base = as_type(item(ns.local, names::PurePath));
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
    tags_ = stamp();

    Findings found;
    for (PyTypeObject* type : {pure, concrete}) {
        if (Py_TYPE(type) != &PyType_Type || !is_plain_class(type) || !PyType_IsSubtype(type, base) ||
            !is_module_with_dict(lookup(type, names::parser), ns.posixpath))
            return false;
        for (const Name* name : path_slots) {
            if (slot_offset(type, *name, base) == 0)
                return false;
        }
    }
    // Both classes find the same methods: those of the pure class are checked.
    for (const Method& method : path_methods) {
        if (lookup(concrete, *method.name) != lookup(pure, *method.name))
            return false;
    }
    PyObject* const concrete_init = lookup(concrete, names::dunder_init);
    PyObject* const super_start = super_class_of(concrete_init);
    const Ref super_init =
        super_start != nullptr ? lookup_after(concrete, super_start, names::dunder_init) : Ref();
    if (!has_standard_methods(pure, path_methods, ns, found) ||
        !has_standard_methods(pure, pure_construction, ns, found) ||
        !has_standard_methods(concrete, concrete_construction, ns, found) ||
        !is_standard_function(super_init.get(), concrete_super_init, ns, found))
        return false;
    if (!is_plain_class(parents) || !has_standard_methods(parents, parents_methods, ns, found) ||
        lookup(parents, names::dunder_new) != lookup(&PyBaseObject_Type, names::dunder_new))
        return false;
    for (const Name* name : parents_slots) {
        if (slot_offset(parents, *name, parents) == 0)
            return false;
    }

    // The names the methods read from their modules.
    PyObject* const chain = item(ns.local, names::chain);
    PyObject* const sep = item(ns.posixpath, names::sep);
    const Ref base_dict = Ref::steal(PyType_GetDict(base));
    if (lookup(base, names::relative_to) != item(base_dict.get(), names::relative_to) ||
        item(ns.local, names::PurePath) != reinterpret_cast<PyObject*>(base) ||
        !is_module_with_dict(item(ns.local, names::posixpath), ns.posixpath) ||
        !is_module_with_dict(item(ns.local, names::os), ns.os) ||
        !is_builtin_function(item(ns.os, names::fspath), "fspath", nullptr) || as_type(chain) == nullptr ||
        std::strcmp(as_type(chain)->tp_name, "itertools.chain") != 0 ||
        !PyType_HasFeature(as_type(chain), Py_TPFLAGS_IMMUTABLETYPE) || sep == nullptr ||
        !PyUnicode_CheckExact(sep) || PyUnicode_CompareWithASCIIString(sep, "/") != 0 ||
        !builtins_are_standard(ns))
        return false;
    if (!is_standard_function(item(ns.posixpath, names::splitdrive), posixpath_splitdrive, ns, found) ||
        !is_builtin_function(item(ns.posixpath, names::splitroot), "_path_splitroot_ex", nullptr))
        return false;
    // The code is what was verified, release for release.
    if (!is_known_release(found.digests))
        return false;

    for (const auto& [owner, offset, value] : found.fields) {
        fields_.push_back({.address = &field(owner, offset), .value = value});
        held_.push_back(Ref::borrow(owner));
        held_.push_back(Ref::borrow(value));
    }
    PyObject* const relative_to = lookup(pure, names::relative_to);
    PyObject* const kwdefaults = reinterpret_cast<PyFunctionObject*>(relative_to)->func_kwdefaults;
    if (!PyDict_CheckExact(kwdefaults))
        return false;
    kwdefaults_ = Ref::borrow(kwdefaults);
    offsets_ = {.str = slot_offset(pure, names::_str, base),
                .normcase = slot_offset(pure, names::_str_normcase_cached, base),
                .drv = slot_offset(pure, names::_drv, base),
                .root = slot_offset(pure, names::_root, base),
                .tail = slot_offset(pure, names::_tail_cached, base)};
    return true;
}

PyObject* PosixRelativeTo::compared_text(PyObject* path, bool& ran_code) {
    PyObject*& normcase = field(path, offsets_.normcase);
    // What `_str_normcase` starts with when it has nothing kept.
    if (normcase == nullptr && field(path, offsets_.str) == nullptr) {
        ran_code = true;
        (void)py::check(PyObject_Str(path));
    }
    // The method reads the parsed parts through `parents`, and the text again
    // for its message; where either is missing it would make it, and that is
    // left to it.
    PyObject* const text = field(path, offsets_.str);
    if (text == nullptr || field(path, offsets_.drv) == nullptr || field(path, offsets_.root) == nullptr ||
        field(path, offsets_.tail) == nullptr)
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
    bool ran_code = false;
    const Ref other_text = Ref::borrow(compared_text(other, ran_code));
    if (!other_text)
        return Answer::ask_the_method;
    const Ref path_text = Ref::borrow(compared_text(path, ran_code));
    // Where `str()` ran the standard library's code, the checks must still hold.
    if (!path_text || (ran_code && !standard()))
        return Answer::ask_the_method;
    return posix_text_is_or_contains(path_text.get(), other_text.get()) ? Answer::returns
                                                                        : Answer::raises_value_error;
}

}  // namespace quorin::pdk::contracts::pathlib
