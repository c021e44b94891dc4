// The switch of the module's fast paths: `QUORIN_PDK_FAST_PATHS` in the
// environment when the module is loaded. Unset, empty or "1": all on; "0": all
// off; otherwise a comma-separated list of the fast paths to turn off (by the
// names below), which is how the benchmarks weigh one against the others.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorin::py {

enum class FastPath : std::uint8_t {
    relative_to,       // the record filter's `relative_to` answered from path texts
    module_attribute,  // a plain module's attribute read from its namespace
    unchanged_dicts,   // dict items and key sets not made again while no dict changed
};

inline constexpr std::string_view fast_path_names[] = {"relative_to", "module_attribute", "unchanged_dicts"};

// Whether `path` is on; fixed for the life of the process.
bool on(FastPath path) noexcept;

}  // namespace quorin::py
