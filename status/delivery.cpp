#include "status/delivery.h"

#include "text/ansi_text.h"
#include "text/bounded_text.h"

namespace {

// Fills `windows` with the messenger's top-level windows in the order the
// system's search returns them, each once, at most MESSENGER_WINDOW_CAPACITY.
// Returns how many.
std::size_t listMessengerWindows(PlatformWindow (&windows)[MESSENGER_WINDOW_CAPACITY]) {
    std::size_t count = 0;
    for (PlatformWindow window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, nullptr);
         window != nullptr && count < MESSENGER_WINDOW_CAPACITY;
         window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, window)) {
        // A search that comes round to a window it already gave has no more to give.
        for (std::size_t i = 0; i < count; ++i) {
            if (windows[i] == window) return count;
        }
        windows[count++] = window;
    }
    return count;
}

}  // namespace

void sendStatus(const char* text, std::size_t bound, PlatformWindow sender) {
    char16_t wideText[WIDE_TEXT_CAPACITY];
    // Room for the text inside the bound, keeping one unit for the
    // terminator, which is always sent. A byte never yields more than one
    // unit, so the bytes taken are capped at the units there is room for,
    // and cut between whole characters.
    const std::size_t capacity = bound < WIDE_TEXT_CAPACITY ? bound : WIDE_TEXT_CAPACITY;
    const std::size_t textRoom = capacity > 0 ? capacity - 1 : 0;
    const std::size_t fitting = boundedLength(text, textRoom);
    const std::size_t byteCount =
        text[fitting] == '\0'
            ? fitting
            : wholeCharacterLength(currentAnsiCodePage(), text, fitting, textRoom);
    const std::size_t units = widenText(text, byteCount, wideText, textRoom);
    wideText[units] = u'\0';

    const CopyDataRecord record{STATUS_COPYDATA_ID, static_cast<std::uint32_t>(2 * units + 2),
                                wideText};
    // The windows are listed before the first send: a messenger window that
    // closes on receipt would otherwise end the search, since the search goes
    // on from the window last found. One gone by its turn fails its send.
    PlatformWindow windows[MESSENGER_WINDOW_CAPACITY];
    const std::size_t windowCount = listMessengerWindows(windows);
    for (std::size_t i = 0; i < windowCount; ++i) {
        sendCopyData(windows[i], sender, record, MESSENGER_SEND_TIMEOUT_MS);
    }
}
