#pragma once
// The host's command numbers that do something; every other number is ignored.
#include <cstdint>

constexpr std::int32_t CMD_SET_FILE = 40002;  // param: address of the announced path
constexpr std::int32_t CMD_ABOUT = 40004;     // param: window to own the About box
constexpr std::int32_t CMD_PUBLISH = 40006;
constexpr std::int32_t CMD_WITHDRAW = 40007;
