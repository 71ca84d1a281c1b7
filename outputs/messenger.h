#pragma once
// Delivery of a status text to every running messenger window.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

constexpr std::uintptr_t STATUS_COPYDATA_ID = 0x547;
constexpr const char* MESSENGER_WINDOW_CLASS = "MsnMsgrUIManager";
constexpr std::size_t WIDE_TEXT_CAPACITY = 500;
// A messenger that does not answer within this time is skipped, so that it
// cannot freeze the host player.
constexpr unsigned MESSENGER_SEND_TIMEOUT_MS = 1000;
// Messenger windows are found this many at a time before any of them is sent
// to; there is no limit on how many are reached in all.
constexpr std::size_t MESSENGER_WINDOW_BATCH = 16;
// A search that gives more windows than a Windows session can hold at once
// is going round in circles.
constexpr std::size_t MESSENGER_WINDOW_SEARCH_LIMIT = 65536;
// Bound for WITHDRAW_TEXT: its 25 characters, terminator and a little spare.
constexpr std::size_t WITHDRAW_BOUND = 28;

// Sends `text` (UTF-16, terminated), cut between whole characters to at
// most min(bound, WIDE_TEXT_CAPACITY) units, terminator included, with the
// identifier STATUS_COPYDATA_ID and the byte count 2n + 2 (n units before the
// terminator) to every messenger window once, in the order the system's
// search gives them, naming `sender` (may be null). A window that fails,
// times out or has closed is skipped; nothing is reported.
void sendStatus(const char16_t* text, std::size_t bound, PlatformWindow sender);
