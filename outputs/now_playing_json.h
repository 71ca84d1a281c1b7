#pragma once
// The JSON file for web overlays (nowplaying-json): an object a page can
// poll, with what plays and whether it still does. What is shown after a
// withdraw or a track's end keeps the track's fields with "playing" false,
// so a page can fade it out; before anything played and for a private file
// every field is emptied, so nothing of a private file leaves the plug-in.
#include <cstddef>
#include <cstdint>

#include "status/status_text.h"

// The most units of a file's name written: its folder aside, cut between
// whole characters.
constexpr std::size_t NOW_PLAYING_JSON_NAME_UNITS = 1024;

// Writes into `out` (`capacity` bytes, not terminated) "{" and the members
// "title", "artist", "album" (the tags', empty when unknown), "duration"
// (whole seconds, or null), "started" (Unix seconds), "media" ("audio" or
// "video"), "file" (the name of `path` without its folder),
// "musicbrainz_albumid" (or null) and "playing", without the object's end:
// the writer adds the write's number and "}". With `composed` null, the
// emptied fields: empty strings, nulls, and playing false. Returns the byte
// count, 0 when it does not fit.
std::size_t writeNowPlayingJsonFields(const ComposedStatus* composed, const AnnouncedPath* path,
                                      std::uint64_t startedSeconds, bool playing, char* out,
                                      std::size_t capacity);
