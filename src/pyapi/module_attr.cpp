#include "pyapi/module_attr.hpp"

#include "pyapi/fast_paths.hpp"
#include "pyapi/ops.hpp"

namespace quorin::py {

namespace {

// The names defined by the classes of the module type's MRO.
class ModuleTypeNames final : public Constant {
    PyObject* create() const override {
        Ref names = check(PySet_New(nullptr));
        PyObject* mro = PyModule_Type.tp_mro;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
            auto* type = reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i));
            const Ref dict = check(PyType_GetDict(type));
            Py_ssize_t pos = 0;
            PyObject* key;
            PyObject* value;
            while (PyDict_Next(dict.get(), &pos, &key, &value))
                check_status(PySet_Add(names.get(), key));
        }
        return names.release();
    }
};

ModuleTypeNames module_type_names;

}  // namespace

Ref module_attribute_optional(PyObject* o, PyObject* name) {
    if (on(FastPath::module_attribute) && Py_IS_TYPE(o, &PyModule_Type) && PyUnicode_CheckExact(name)) {
        const int on_type = PySet_Contains(module_type_names, name);
        check_status(on_type);
        if (on_type == 0) {
            if (Ref value = dict_get(PyModule_GetDict(o), name))
                return value;
        }
    }
    return getattr_optional(o, name);
}

}  // namespace quorin::py
