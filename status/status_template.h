#pragma once
// Templates: text with markers that an announced file's title, tags and
// name replace, in a profile line and in the now-playing text alike.
//
//   [FILENAME]  the title from the file's name
//   [TAGS]      "ARTIST - TITLE" (or "TITLE") from the tags, else [FILENAME]
//   [TITLE]     the tags' title, else [FILENAME]: never empty
//   [ARTIST]    the track's artist, else the album artist; may be empty
//   [ALBUM]     the album; may be empty
//   [DURATION]  how long the file plays, "m:ss" or "h:mm:ss"; empty when unknown
//   [MUSICBRAINZ_ALBUMID]  the release's MusicBrainz id; may be empty
//
// Text in braces around [ARTIST], [ALBUM], [DURATION] or
// [MUSICBRAINZ_ALBUMID] shows only when every such marker inside has a
// value: "[TITLE]{ by [ARTIST]}". Braces
// around nothing else, or without a closing one before the next opening
// one, are text.
#include <cstddef>

enum TemplateMarker {
    MARKER_FILENAME,
    MARKER_TAGS,
    MARKER_TITLE,
    MARKER_ARTIST,
    MARKER_ALBUM,
    MARKER_DURATION,
    MARKER_MUSICBRAINZ_ALBUMID,
    TEMPLATE_MARKERS,
};

// What the markers of a template hold, found in `text` (`length` units).
struct TemplateMarkers {
    std::size_t count;        // markers of any kind
    TemplateMarker first;     // the first marker's kind, when count > 0
    std::size_t firstAt;      // where it begins
    std::size_t firstLength;  // its length
    bool usesTags;            // the file is read: any marker but [FILENAME]
    bool usesFacts;           // [DURATION]: the media facts are read too
};
TemplateMarkers findTemplateMarkers(const char16_t* text, std::size_t length);

// A value a marker takes: `length` units at `text`.
struct TemplateValue {
    const char16_t* text;
    std::size_t length;
};

// What one announced file gives each marker, by TemplateMarker.
struct TemplateValues {
    TemplateValue value[TEMPLATE_MARKERS];
};

// Writes `text` (`length` units) with every marker replaced and every group
// shown or left out into `out`, at most capacity - 1 units, cut at its end
// between whole characters, always terminated (capacity > 0). Returns the
// number of units written.
std::size_t expandTemplate(const char16_t* text, std::size_t length, const TemplateValues& values,
                           char16_t* out, std::size_t capacity);
