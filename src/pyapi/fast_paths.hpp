// The switch of the module's fast path: `QUORIN_PDK_FAST_PATHS` in the
// environment when the module is loaded. Unset, empty or "1" leaves it on;
// "0", or any other value, turns it off.
#pragma once

namespace quorin::py {

// Whether the fast path is on; fixed for the life of the process.
bool fast_paths_on() noexcept;

}  // namespace quorin::py
