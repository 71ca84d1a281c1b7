#include "status/delivery.h"

#include "text/bounded_text.h"

void sendStatus(const char* text, std::size_t bound, PlatformWindow sender) {
    char16_t wideText[WIDE_TEXT_CAPACITY];
    // Room for the text inside the bound, keeping one unit for the
    // terminator, which is always sent. A byte never yields more than one
    // unit, so the bytes taken are capped at the units there is room for.
    const std::size_t capacity = bound < WIDE_TEXT_CAPACITY ? bound : WIDE_TEXT_CAPACITY;
    const std::size_t textRoom = capacity > 0 ? capacity - 1 : 0;
    const std::size_t byteCount = boundedLength(text, textRoom);
    const std::size_t units = widenText(text, byteCount, wideText, textRoom);
    wideText[units] = u'\0';

    const CopyDataRecord record{STATUS_COPYDATA_ID, static_cast<std::uint32_t>(2 * units + 2),
                                wideText};
    for (PlatformWindow window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, nullptr);
         window != nullptr; window = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, window)) {
        sendCopyData(window, sender, record, MESSENGER_SEND_TIMEOUT_MS);
    }
}
