#include "outputs/presence_activity.h"

#include <cstring>

#include "text/json_text.h"
#include "text/unicode_text.h"

namespace {

constexpr std::size_t CUT_MARK_LENGTH = sizeof PRESENCE_TEXT_CUT_MARK - 1;
constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr char32_t LINE_SEPARATOR = 0x2028;
constexpr char32_t PARAGRAPH_SEPARATOR = 0x2029;

// Control characters (C0, DEL, C1) and the line and paragraph separators:
// what would break a line or show as nothing.
bool showsAsSpace(char32_t character) {
    return character < 0x20 || (character >= 0x7F && character <= 0x9F) ||
           character == LINE_SEPARATOR || character == PARAGRAPH_SEPARATOR;
}

// The character at `text[at]`, and how many units it takes.
char32_t characterAt(const char16_t* text, std::size_t units, std::size_t at, std::size_t& taken) {
    taken = 1;
    const char16_t unit = text[at];
    if (isHighSurrogate(unit) && at + 1 < units && isLowSurrogate(text[at + 1])) {
        taken = 2;
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
               (static_cast<char32_t>(text[at + 1]) - 0xDC00);
    }
    if (isHighSurrogate(unit) || isLowSurrogate(unit)) return REPLACEMENT_CHARACTER;
    return unit;
}

std::size_t encodeUtf8(char32_t character, char (&out)[4]) {
    if (character < 0x80) {
        out[0] = static_cast<char>(character);
        return 1;
    }
    if (character < 0x800) {
        out[0] = static_cast<char>(0xC0 | (character >> 6));
        out[1] = static_cast<char>(0x80 | (character & 0x3F));
        return 2;
    }
    if (character < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (character >> 12));
        out[1] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (character & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (character >> 18));
    out[1] = static_cast<char>(0x80 | ((character >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (character & 0x3F));
    return 4;
}

void appendField(JsonWriter& json, const char* name, const PresenceText& text, bool& first) {
    if (text.length == 0) return;
    if (!first) appendJsonRaw(json, ",");
    first = false;
    appendJsonRaw(json, "\"");
    appendJsonRaw(json, name);
    appendJsonRaw(json, "\":");
    appendJsonString(json, text.text, text.length);
}

// Discord's status_display_type, by PresenceShows.
constexpr unsigned DISPLAY_TYPES[] = {0, 2, 1};
constexpr unsigned LISTENING = 2;
constexpr unsigned WATCHING = 3;

}  // namespace

void shapePresenceText(const char16_t* text, std::size_t units, PresenceText& out) {
    out.length = 0;
    std::size_t characters = 0;
    std::size_t cutAt = 0;  // where "…" goes should the rest not fit
    for (std::size_t at = 0; at < units;) {
        std::size_t taken = 0;
        char32_t character = characterAt(text, units, at, taken);
        if (showsAsSpace(character)) character = u' ';
        char bytes[4];
        const std::size_t length = encodeUtf8(character, bytes);
        if (length > PRESENCE_TEXT_BYTES - out.length) {
            std::memcpy(out.text + cutAt, PRESENCE_TEXT_CUT_MARK, CUT_MARK_LENGTH);
            out.length = cutAt + CUT_MARK_LENGTH;
            return;
        }
        std::memcpy(out.text + out.length, bytes, length);
        out.length += length;
        if (out.length <= PRESENCE_TEXT_BYTES - CUT_MARK_LENGTH) cutAt = out.length;
        ++characters;
        at += taken;
    }
    // Discord may refuse a text of spaces alone, and says nothing: it is left out.
    std::size_t spaces = 0;
    while (spaces < out.length && out.text[spaces] == ' ') ++spaces;
    if (spaces == out.length) {
        out.length = 0;
        return;
    }
    if (characters == 1) out.text[out.length++] = ' ';
}

void composePresenceActivity(const ComposedStatus& composed, const PresenceSettings& settings,
                             std::uint64_t startSeconds, PresenceActivity& activity) {
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        shapePresenceText(composed.presenceTexts[field], composed.presenceLengths[field],
                          activity.texts[field]);
    }
    activity.watching = composed.hasPictures;
    std::memcpy(activity.image, composed.presenceImage, sizeof activity.image);
    activity.image[sizeof activity.image - 1] = '\0';
    activity.startSeconds = startSeconds;
    activity.showsStart = settings.time != PresenceTime::None;
    // A file that plays under half a second has no bar to show.
    activity.endSeconds =
        settings.time == PresenceTime::Bar && composed.hasDuration && composed.durationSeconds > 0
            ? startSeconds + composed.durationSeconds
            : 0;
}

std::size_t writePresenceHandshake(const char* applicationId, char* out, std::size_t capacity) {
    JsonWriter json = startJson(out, capacity);
    appendJsonRaw(json, "{\"v\":1,\"client_id\":");
    appendJsonString(json, applicationId, std::strlen(applicationId));
    appendJsonRaw(json, "}");
    return json.overflowed ? 0 : json.length;
}

std::size_t writePresenceCommand(const PresenceActivity* activity, const PresenceSettings& settings,
                                 std::uint32_t processId, const char* nonce, char* out,
                                 std::size_t capacity) {
    JsonWriter json = startJson(out, capacity);
    appendJsonRaw(json, "{\"cmd\":\"SET_ACTIVITY\",\"args\":{\"pid\":");
    appendJsonNumber(json, processId);
    if (activity != nullptr) {
        appendJsonRaw(json, ",\"activity\":{\"type\":");
        appendJsonNumber(json, activity->watching ? WATCHING : LISTENING);
        appendJsonRaw(json, ",\"status_display_type\":");
        appendJsonNumber(json, DISPLAY_TYPES[static_cast<int>(settings.shows)]);
        bool first = false;
        appendField(json, "details", activity->texts[PRESENCE_DETAILS], first);
        appendField(json, "state", activity->texts[PRESENCE_STATE], first);
        if (activity->showsStart) {
            appendJsonRaw(json, ",\"timestamps\":{\"start\":");
            appendJsonNumber(json, activity->startSeconds);
            if (activity->endSeconds != 0) {
                appendJsonRaw(json, ",\"end\":");
                appendJsonNumber(json, activity->endSeconds);
            }
            appendJsonRaw(json, "}");
        }
        const char* image = activity->image;
        if (image[0] != '\0') {
            appendJsonRaw(json, ",\"assets\":{\"large_image\":");
            appendJsonString(json, image, std::strlen(image));
            bool firstAsset = false;
            appendField(json, "large_text", activity->texts[PRESENCE_IMAGE_TEXT], firstAsset);
            appendJsonRaw(json, "}");
        }
        appendJsonRaw(json, "}");
    }
    appendJsonRaw(json, "},\"nonce\":");
    appendJsonString(json, nonce, std::strlen(nonce));
    appendJsonRaw(json, "}");
    return json.overflowed ? 0 : json.length;
}

void writePresenceNonce(std::uint32_t processId, std::uint32_t count,
                        std::uint64_t timeMilliseconds, char (&out)[PRESENCE_NONCE_CAPACITY]) {
    static_assert(8 + 1 + 8 + 1 + 16 < PRESENCE_NONCE_CAPACITY,
                  "two 32-bit and a 64-bit number fit");
    const std::uint64_t parts[] = {processId, count, timeMilliseconds};
    std::size_t length = 0;
    for (std::uint64_t part : parts) {
        if (length > 0) out[length++] = '-';
        char digits[16];
        std::size_t digitCount = 0;
        do {
            digits[digitCount++] = "0123456789abcdef"[part & 0xF];
            part >>= 4;
        } while (part != 0);
        while (digitCount > 0) out[length++] = digits[--digitCount];
    }
    out[length] = '\0';
}
