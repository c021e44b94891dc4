#include "contracts/paths.hpp"

#include "contracts/pathlib/posix_relative_to.hpp"
#include "pyapi/fast_paths.hpp"

namespace quorin::pdk::contracts::paths {

Ref path(const Context& c, PyObject* p) {
    return py::call(c.global(names::Path).get(), p);
}
Ref file_name(PyObject* path) {
    return py::getattr(path, names::name);
}
Ref resolve(PyObject* path) {
    return py::call_method(path, names::resolve);
}
Ref parts(PyObject* path) {
    return py::getattr(path, names::parts);
}

bool relative_to_succeeds(PyObject* path, PyObject* other) {
    using Answer = pathlib::PosixRelativeTo::Answer;
    const Answer answer = py::on(py::FastPath::relative_to)
                              ? pathlib::PosixRelativeTo::instance().answer(path, other)
                              : Answer::ask_the_method;
    switch (answer) {
        case Answer::returns:
            return true;
        case Answer::raises_value_error:
            return false;
        case Answer::ask_the_method:
            break;
    }
    PyObject* args[] = {path, other};
    const Ref result = Ref::steal(PyObject_VectorcallMethod(names::relative_to, args, 2, nullptr));
    if (result)
        return true;
    // The common "not under it" answer is cleared here, without the cost of a
    // C++ throw and catch per path.
    if (!PyErr_ExceptionMatches(PyExc_ValueError))
        py::throw_raised();
    PyErr_Clear();
    return false;
}

}  // namespace quorin::pdk::contracts::paths
