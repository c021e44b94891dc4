// The layout library (global `lm`): its PDK class, PDK objects and the
// modules of its generic PDKs.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::layout {

// `lm.Pdk`, read from the library module `lm`.
Ref pdk_class(PyObject* lm);
// `pdk.activate()`, result ignored.
void activate(PyObject* pdk);
// `pdk.name`, `pdk.cells`, `pdk.containers`.
Ref name(PyObject* pdk);
Ref cells(PyObject* pdk);
Ref containers(PyObject* pdk);
// `pdk.__dict__`, where a PDK keeps its state.
Ref attributes(PyObject* pdk);
// `pdk.__dict__.update(values)`.
void update_attributes(PyObject* pdk, PyObject* values);
// `pdk.__class__ = cls`.
void set_class(PyObject* pdk, PyObject* cls);
// `module.get_generic_pdk`, the factory of a generic PDK module.
Ref get_generic_pdk(PyObject* module);

// `pdk.cells.update`, looked up before its argument is made, then called.
class CellsUpdate {
public:
    explicit CellsUpdate(PyObject* pdk);
    void operator()(PyObject* registered) const;

private:
    Ref update_;
};

}  // namespace quorin::pdk::contracts::layout
