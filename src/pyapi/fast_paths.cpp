#include "pyapi/fast_paths.hpp"

#include <cstdlib>
#include <iterator>

namespace quorin::py {

namespace {

constexpr std::size_t count = std::size(fast_path_names);

struct Switches {
    bool on[count];
};

Switches from_environment() noexcept {
    Switches s{};
    const char* const value = std::getenv("QUORIN_PDK_FAST_PATHS");
    const std::string_view text = value == nullptr ? "" : value;
    const bool all_off = text == "0";
    for (bool& on : s.on)
        on = !all_off;
    if (all_off || text.empty() || text == "1")
        return s;
    // A list of names: each one named is off, the others stay on. A value
    // that is not such a list ("off", a misspelt name) turns all of them off:
    // whoever set it wanted less, not more.
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view name = rest.substr(0, comma);
        bool known = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (fast_path_names[i] == name) {
                s.on[i] = false;
                known = true;
            }
        }
        if (!known)
            return Switches{};
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    return s;
}

// Read when the module's library is loaded, that is, at import.
const Switches switches = from_environment();

}  // namespace

bool on(FastPath path) noexcept {
    return switches.on[static_cast<std::size_t>(path)];
}

}  // namespace quorin::py
