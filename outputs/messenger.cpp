#include "outputs/messenger.h"

#include "text/unicode_text.h"

namespace {

// Fills `batch` with the messenger windows from `next` on, in the order the
// system's search returns them, at most MESSENGER_WINDOW_BATCH, and sets
// `next` to the window after the last one taken (null when there is none),
// found before anything is sent to the batch. Returns how many were taken.
std::size_t takeMessengerWindows(PlatformWindow (&batch)[MESSENGER_WINDOW_BATCH],
                                 PlatformWindow& next) {
    std::size_t count = 0;
    while (next != nullptr && count < MESSENGER_WINDOW_BATCH) {
        // A search that comes round to a window it already gave has no more to give.
        for (std::size_t i = 0; i < count; ++i) {
            if (batch[i] == next) {
                next = nullptr;
                return count;
            }
        }
        batch[count++] = next;
        next = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, next);
    }
    return count;
}

}  // namespace

void sendStatus(const char16_t* text, std::size_t bound, PlatformWindow sender) {
    char16_t wideText[WIDE_TEXT_CAPACITY];
    // Room for the text inside the bound, keeping one unit for the
    // terminator, which is always sent.
    const std::size_t capacity = bound < WIDE_TEXT_CAPACITY ? bound : WIDE_TEXT_CAPACITY;
    const std::size_t textRoom = capacity > 0 ? capacity - 1 : 0;
    // One pass: copied up to the terminator or the room, one unit beyond
    // the room looked at so that a cut never parts a surrogate pair.
    std::size_t fitting = 0;
    while (fitting < textRoom && text[fitting] != u'\0') {
        wideText[fitting] = text[fitting];
        ++fitting;
    }
    const bool more = fitting == textRoom && text[fitting] != u'\0';
    const std::size_t units = more ? wholeUtf16Length(text, fitting + 1, textRoom) : fitting;
    wideText[units] = u'\0';

    const CopyDataRecord record{STATUS_COPYDATA_ID, static_cast<std::uint32_t>(2 * units + 2),
                                wideText};
    // The search goes on from the window last found, so a messenger window
    // that closes on receipt would end it there. Each batch is therefore
    // found, and the window after it too, before the batch is sent to; one
    // gone by its turn fails its send.
    PlatformWindow batch[MESSENGER_WINDOW_BATCH];
    PlatformWindow next = findNextTopLevelWindow(MESSENGER_WINDOW_CLASS, nullptr);
    for (std::size_t found = 0; next != nullptr && found < MESSENGER_WINDOW_SEARCH_LIMIT;) {
        const std::size_t count = takeMessengerWindows(batch, next);
        for (std::size_t i = 0; i < count; ++i) {
            sendCopyData(batch[i], sender, record, MESSENGER_SEND_TIMEOUT_MS);
        }
        found += count;
    }
}
