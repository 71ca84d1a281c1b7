#pragma once
// The now-playing file: a text file that always holds what is playing, for
// stream overlays, chat bots and desktop widgets, written by the worker
// after each publish and withdraw: the host's thread only hands the text
// over.
//
// It is replaced whole: written to a temporary file beside it, then moved
// over it in one step, so a reader never sees a partial or missing file.
// While readers keep it from being replaced, the move is tried again, at
// once and then after growing waits; only a reader that keeps it for
// seconds has it written in place. Only a file that does not exist yet, or that
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
// While readers keep the file from being replaced: the moves tried at once
// for this long, then again after waits that double from 1 ms up to the
// longest, until replacing has been refused for NOW_PLAYING_IN_PLACE_AFTER;
// only then is the file written in place.
constexpr std::uint32_t NOW_PLAYING_IMMEDIATE_RETRY_MILLISECONDS = 20;
constexpr unsigned NOW_PLAYING_RETRY_DOUBLINGS = 6;
constexpr std::uint32_t NOW_PLAYING_LONGEST_RETRY_WAIT_MILLISECONDS = 50;
constexpr std::uint32_t NOW_PLAYING_IN_PLACE_AFTER_MILLISECONDS = 2000;
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

// Hands the `units` units of UTF-16 at `text` to the worker, to be written
// into the now-playing file in its encoding, with nothing added: no line
// end, no terminator (a mark first for utf-8-bom and utf-16). Returns at
// once, touching no file: the worker checks the target, writes the text
// and retries while readers are in the way; a text handed over while an
// older one is still being written takes its place. Nothing for no path.
void postNowPlaying(const NowPlayingSettings& settings, const char16_t* text, std::size_t units);

// What became of the last text the worker finished with.
NowPlayingOutcome lastNowPlayingOutcome();
