#include "status/status_template.h"

#include <cstring>

#include "text/unicode_text.h"

namespace {

struct MarkerName {
    const char16_t* name;
    std::size_t length;
    TemplateMarker marker;
};
constexpr MarkerName MARKER_NAMES[] = {
    {u"[FILENAME]", 10, MARKER_FILENAME},
    {u"[TAGS]", 6, MARKER_TAGS},
    {u"[TITLE]", 7, MARKER_TITLE},
    {u"[ARTIST]", 8, MARKER_ARTIST},
    {u"[ALBUM]", 7, MARKER_ALBUM},
    {u"[DURATION]", 10, MARKER_DURATION},
    {u"[MUSICBRAINZ_ALBUMID]", 21, MARKER_MUSICBRAINZ_ALBUMID},
};

// The marker at `at` (`left` units there), or null.
const MarkerName* markerAt(const char16_t* at, std::size_t left) {
    if (*at != u'[') return nullptr;
    for (const MarkerName& marker : MARKER_NAMES) {
        if (left >= marker.length &&
            std::memcmp(at, marker.name, marker.length * sizeof(char16_t)) == 0) {
            return &marker;
        }
    }
    return nullptr;
}

bool mayBeEmpty(TemplateMarker marker) {
    return marker == MARKER_ARTIST || marker == MARKER_ALBUM || marker == MARKER_DURATION ||
           marker == MARKER_MUSICBRAINZ_ALBUMID;
}

// The end of the group that the brace at `open` begins: its closing brace,
// when one follows before any other opening one and the braces hold a
// marker that may be empty. `shown` says whether each such marker has a
// value. Null: the brace is text.
const char16_t* groupEnd(const char16_t* open, const char16_t* end, const TemplateValues& values,
                         bool& shown) {
    bool group = false;
    shown = true;
    for (const char16_t* at = open + 1; at < end; ++at) {
        if (*at == u'{') return nullptr;
        if (*at == u'}') return group ? at : nullptr;
        const MarkerName* marker = markerAt(at, static_cast<std::size_t>(end - at));
        if (marker != nullptr && mayBeEmpty(marker->marker)) {
            group = true;
            shown &= values.value[marker->marker].length > 0;
        }
    }
    return nullptr;
}

// Appends to a fixed buffer until it is full, between whole characters.
struct TextOut {
    char16_t* out;
    std::size_t room;  // units left, the terminator's kept apart
    std::size_t used;
    bool full;

    void append(const char16_t* text, std::size_t length) {
        if (full) return;
        const std::size_t taken = wholeUtf16Length(text, length, room - used);
        std::memcpy(out + used, text, taken * sizeof(char16_t));
        used += taken;
        full = taken < length;
    }
};

// Expands [begin, end): groups are looked for only where `groups` is set,
// so a group's own text is expanded plainly.
void expand(const char16_t* begin, const char16_t* end, const TemplateValues& values, bool groups,
            TextOut& out) {
    const char16_t* literal = begin;
    const char16_t* at = begin;
    while (at < end && !out.full) {
        const MarkerName* marker = markerAt(at, static_cast<std::size_t>(end - at));
        bool shown = true;
        const char16_t* close = groups && *at == u'{' ? groupEnd(at, end, values, shown) : nullptr;
        if (marker == nullptr && close == nullptr) {
            ++at;
            continue;
        }
        out.append(literal, static_cast<std::size_t>(at - literal));
        if (marker != nullptr) {
            const TemplateValue& value = values.value[marker->marker];
            out.append(value.text, value.length);
            at += marker->length;
        } else {
            if (shown) expand(at + 1, close, values, false, out);
            at = close + 1;
        }
        literal = at;
    }
    out.append(literal, static_cast<std::size_t>(at - literal));
}

}  // namespace

TemplateMarkers findTemplateMarkers(const char16_t* text, std::size_t length) {
    TemplateMarkers found{0, MARKER_FILENAME, 0, 0, false, false};
    for (std::size_t at = 0; at < length; ++at) {
        if (text[at] != u'[') continue;
        const MarkerName* marker = markerAt(text + at, length - at);
        if (marker == nullptr) continue;
        if (found.count++ == 0) {
            found.first = marker->marker;
            found.firstAt = at;
            found.firstLength = marker->length;
        }
        found.usesTags |= marker->marker != MARKER_FILENAME;
        found.usesFacts |= marker->marker == MARKER_DURATION;
        at += marker->length - 1;
    }
    return found;
}

std::size_t expandTemplate(const char16_t* text, std::size_t length, const TemplateValues& values,
                           char16_t* out, std::size_t capacity) {
    if (capacity == 0) return 0;
    TextOut builder{out, capacity - 1, 0, false};
    expand(text, text + length, values, true, builder);
    out[builder.used] = u'\0';
    return builder.used;
}
