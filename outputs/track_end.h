#pragma once
// A published track that must have ended. The host says "this file",
// "publish" and "withdraw", never "paused" or "closed", so a presence or a
// now-playing file could show a track for hours after the music stopped.
// Where the track's length is known, the worker withdraws it from Discord
// and from the now-playing files, as a withdraw does, once its end and a
// margin have passed with no newer command. The messenger keeps its text:
// it changes on the host's commands only. The host's thread only notes
// the publish; the waiting is the worker's, on the thread an unload ends.
#include <cstddef>
#include <cstdint>

#include "status/now_playing_settings.h"

// The longest wait for a track's end: the worker's clock counts 24 days
// before it wraps; a longer track never ends by itself.
constexpr std::uint64_t TRACK_END_LONGEST_MILLISECONDS = 0x7FFFFFFFu;

// Has the worker withdraw the presence, write `nowPlaying`'s withdrawn
// text (when a file is written), the `stoppedLength` bytes at
// `stoppedJson` into the JSON file (when one is written) and no cover
// (when one is written) `milliseconds`
// from now, unless forgetTrackEnd or another expectTrackEnd comes first. On
// the host's thread, before the publish's own hand-overs: a withdrawal the
// worker makes then comes before them, never after. All is copied.
// Returns at once.
void expectTrackEnd(std::uint64_t milliseconds, const NowPlayingSettings* nowPlaying,
                    const char* stoppedJson, std::size_t stoppedLength);

// No track is to end by itself: at a withdraw, a publish of a file of no
// known length, or a private one; before their hand-overs, as above.
void forgetTrackEnd();
