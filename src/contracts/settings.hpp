// quorin.settings, through the global `settings`.
#pragma once

#include "contracts/common.hpp"

namespace quorin::pdk::contracts::settings {

Ref get_pdk_name(const Context& c);
Ref get_project_name(const Context& c);
Ref get_project_dir(const Context& c);
// The truth value of `settings.is_a_pdk()`.
bool is_a_pdk(const Context& c);

}  // namespace quorin::pdk::contracts::settings
