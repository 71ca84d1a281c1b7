#pragma once
// The now-playing file: a text file that always holds what is playing, for
// stream overlays, chat bots and desktop widgets, written on each publish
// and withdraw.
//
// It is replaced whole: written to a temporary file beside it, then moved
// over it in one step, so a reader never sees a partial or missing file.
// While a reader holds it so that it cannot be replaced, the move is tried
// again at once, a bounded number of times within a bounded time; only then
// is it written in place. Only a file that does not exist yet, or that
// looks like a now-playing file (NOW_PLAYING_LARGEST_REPLACED bytes at most,
// not read-only, hidden or system), is ever written, and never the settings
// file, a file whose name says it holds settings or a program, or a stream
// of another file: a slip in the settings never destroys a user's file. The
// temporary file's name is new for each write and it is created only where
// nothing is, so no file the plug-in did not create is ever overwritten or
// deleted, and a leftover from a crash blocks nothing.
#include <cstddef>
#include <cstdint>

#include "status/now_playing_settings.h"

constexpr std::uint64_t NOW_PLAYING_LARGEST_REPLACED = 64 * 1024;
// The temporary file is the target's name with this, the process id and a
// count after it, in hexadecimal: "nowplaying.txt.velkar-1a2c-7".
constexpr const char16_t NOW_PLAYING_TEMPORARY_MARK[] = u".velkar-";
// Names tried for the temporary file of one write before giving up.
constexpr unsigned NOW_PLAYING_TEMPORARY_NAME_TRIES = 16;
// Moves tried at most, and for how long, before the file is written in place.
constexpr unsigned NOW_PLAYING_REPLACE_TRIES = 2000;
constexpr std::uint32_t NOW_PLAYING_REPLACE_MILLISECONDS = 50;
// The name endings of files the now-playing file never replaces.
constexpr const char16_t* const NOW_PLAYING_FORBIDDEN_ENDINGS[] = {
    u".ini", u".exe", u".dll", u".sys", u".lnk", u".bat", u".cmd"};

// What became of a write.
enum class NowPlayingOutcome {
    NoFile,              // no path set: nothing to do
    Replaced,            // replaced whole
    WrittenInPlace,      // replacing was refused throughout: written in place
    NotANowPlayingFile,  // the path names something else, left as it was
    CannotWrite,         // the folder is missing, or may not be written
};

// Whether the path may be written: NoFile, NotANowPlayingFile (also for
// the settings file, a forbidden name ending or a stream name), CannotWrite
// (the folder is missing, or the name is longer than can be written), or
// Replaced when nothing stands in the way. Writes nothing.
NowPlayingOutcome checkNowPlayingTarget(const NowPlayingSettings& settings);

// As checkNowPlayingTarget, and where nothing stands in the way, whether the
// folder takes the temporary file: it is written empty and deleted. For the
// preview tool; the target is not touched.
NowPlayingOutcome probeNowPlayingTarget(const NowPlayingSettings& settings);

// Writes the `units` units of UTF-16 at `text` into the now-playing file, in
// its encoding, with nothing added: no line end, no terminator (a mark
// first for utf-8-bom and utf-16). Leaves no temporary file behind. Takes
// no more than about NOW_PLAYING_REPLACE_MILLISECONDS of retries.
NowPlayingOutcome writeNowPlaying(const NowPlayingSettings& settings, const char16_t* text,
                                  std::size_t units);
