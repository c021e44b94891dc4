// quorin.logger, through the global `log` (the logger factory).
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::logger {

// One log statement, `log().<level>(text)`, in the interpreter's order of
// evaluation: the logger and its method are obtained before the text is made.
class Line {
public:
    void operator()(PyObject* text) const;

private:
    friend Line debug(const Context& c);
    friend Line info(const Context& c);
    friend Line warning(const Context& c);
    explicit Line(Ref method) : method_(std::move(method)) {}
    Ref method_;
};

Line debug(const Context& c);
Line info(const Context& c);
Line warning(const Context& c);

}  // namespace quorin::pdk::contracts::logger
