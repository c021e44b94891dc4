#include "pyapi/fast_paths.hpp"

#include <cstdlib>
#include <string_view>

namespace quorin::py {

namespace {

// Unset, empty or "1": on. "0" turns it off, and so does any value not
// understood ("off", a typo): whoever set it wanted less, not more.
bool from_environment() noexcept {
    const char* const value = std::getenv("QUORIN_PDK_FAST_PATHS");
    const std::string_view text = value == nullptr ? "" : value;
    return text.empty() || text == "1";
}

// Read when the module's library is loaded, that is, at import.
const bool on = from_environment();

}  // namespace

bool fast_paths_on() noexcept {
    return on;
}

}  // namespace quorin::py
