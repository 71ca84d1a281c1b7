#include "status/delivery.h"

void sendStatus(const char* text, std::size_t bound, PlatformWindow sender) {
    char16_t wideText[WIDE_TEXT_CAPACITY];
    std::size_t capacity = bound < WIDE_TEXT_CAPACITY ? bound : WIDE_TEXT_CAPACITY;
    if (capacity == 0) capacity = 1;  // the terminator is always sent
    const std::size_t units = widenText(text, wideText, capacity);

    const CopyDataRecord record{STATUS_COPYDATA_ID, static_cast<std::uint32_t>(2 * units + 2),
                                wideText};
    for (PlatformWindow window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, nullptr);
         window != nullptr; window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, window)) {
        sendCopyData(window, sender, record, MESSENGER_SEND_TIMEOUT_MS);
    }
}
