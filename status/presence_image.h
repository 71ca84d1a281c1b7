#pragma once
// The large image Discord shows beside a presence: the discord-image line
// composed for the file, else the release's front cover from the Cover Art
// Archive, else the build's own application's picture of music or video,
// else none.
//
// The line is a template; spaces separate alternatives, the first that
// gives an image wins: "{https://example.org/[MUSICBRAINZ_ALBUMID].jpg} logo"
// shows that address for a file with a release id and the asset "logo"
// for one without. An empty line shows no image at all; a line none of
// whose alternatives gives an image is as no line.
#include <cstddef>

#include "status/presence_settings.h"
#include "status/status_template.h"

// Discord takes an image of at most 256 characters: kept to 256 bytes of
// UTF-8, so no character count can exceed it; a terminator.
constexpr std::size_t PRESENCE_IMAGE_BYTES = 256;
constexpr std::size_t PRESENCE_IMAGE_TEXT_CAPACITY = PRESENCE_IMAGE_BYTES + 1;
// The Cover Art Archive's front cover of a release, 500 pixels wide: sharp
// in a profile, quick to fetch.
constexpr char COVER_ART_ARCHIVE_RELEASE[] = "https://coverartarchive.org/release/";
constexpr char COVER_ART_ARCHIVE_FRONT[] = "/front-500";

// Whether the `length` units at `text` may be an image: no blank or
// control unit, no surrogate, and no "://" but as the start of "https://"
// (Discord shows no other address).
bool isPresenceImage(const char16_t* text, std::size_t length);

// Whether the `length` units at `text` may be a discord-image line: each
// space-separated alternative, without a group's opening brace before it,
// is as isPresenceImage says, markers aside.
bool isPresenceImageLine(const char16_t* text, std::size_t length);

// Writes into `out` (UTF-8, terminated) the image for a file whose markers
// have `values`, whose release id is `musicBrainzAlbumId` (terminated,
// empty: none), and which has pictures (`watching`), as the order above
// says. Empty: no image.
void composePresenceImage(const PresenceSettings& settings, const TemplateValues& values,
                          const char* musicBrainzAlbumId, bool watching,
                          char (&out)[PRESENCE_IMAGE_TEXT_CAPACITY]);
