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
// seconds has it written in place. Only a text file is ever written: a name
// ending in .txt, never a device's name (con, nul, com1... with any
// extension, in any folder), never the settings file, and only where no
// file is yet or one that looks like a now-playing file
// (NOW_PLAYING_LARGEST_REPLACED bytes at most, not read-only, hidden or
// system): a slip in the settings never destroys a user's page, script or
// program. The temporary file's name is new for each write and it is
// created only where nothing is, so no file the plug-in did not create is
// ever overwritten; a leftover from a crash blocks nothing, and is deleted
// by a later write once it is a minute old.
//
// The JSON file (.json) and the cover (an image's name) are written the
// same way. The cover is the playing file's picture copied byte for byte
// out of it, or the missing image's bytes, or, with neither, no file: it
// replaces only nothing or an image of at most COVER_SIZE_LIMIT bytes
// (its first bytes an image's signature), and a reader that keeps it for
// seconds keeps the last one rather than see a picture half written.
#include <cstddef>
#include <cstdint>

#include "status/now_playing_settings.h"
#include "tags/media_tags.h"

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
// The one ending a now-playing file's name has, in any letter case.
constexpr char16_t NOW_PLAYING_EXTENSION[] = u".txt";
// The JSON file's (nowplaying-json), which follows the same rules.
constexpr char16_t NOW_PLAYING_JSON_EXTENSION[] = u".json";
// The names a cover may have, in any letter case; a null ends them.
constexpr const char16_t* NOW_PLAYING_COVER_EXTENSIONS[] = {u".jpg", u".jpeg", u".png", u".gif",
                                                            u".bmp", u".webp", nullptr};
// The most bytes of the JSON's fields handed over.
constexpr std::size_t NOW_PLAYING_JSON_CAPACITY = 16 * 1024;
// Names that are devices to Windows (10 and earlier, also with an
// extension): never a now-playing file's. COM and LPT take a digit, or a
// superscript one, two or three.
constexpr const char16_t* const DEVICE_NAMES[] = {u"con",    u"prn",     u"aux",   u"nul",
                                                  u"conin$", u"conout$", u"clock$"};
constexpr const char16_t* const NUMBERED_DEVICE_NAMES[] = {u"com", u"lpt"};
constexpr char16_t DEVICE_NUMBERS[] = u"0123456789\u00B9\u00B2\u00B3";
// Windows' limit on a path's length (MAX_PATH, its terminator included),
// for a path not written in the \\?\ form; the temporary file's path must
// keep to it as well.
constexpr std::size_t NOW_PLAYING_PATH_LIMIT = 260;
constexpr char16_t LONG_PATH_FORM[] = u"\\\\?\\";
// Temporary files of ours this old are a crash's leftovers: a write deletes them.
constexpr std::uint64_t NOW_PLAYING_STALE_TEMPORARY_MILLISECONDS = 60 * 1000;

// What became of a write.
enum class NowPlayingOutcome {
    NoFile,              // no path set: nothing to do
    Replaced,            // replaced whole
    WrittenInPlace,      // replacing was refused throughout: written in place
    NotANowPlayingFile,  // the path names something else, left as it was
    CannotWrite,         // the folder is missing, or may not be written
    NotATextFile,        // the name does not end in .txt (or names a stream)
    DeviceName,          // the name is a device's
    PathTooLong,         // the path, with the temporary file's name, passes Windows' limit
    Removed,             // the cover: no picture, so no file is there
};

// Whether the path may be written: NoFile, NotATextFile, DeviceName,
// PathTooLong, NotANowPlayingFile (also for the settings file), CannotWrite
// (the folder is missing), or Replaced when nothing stands in the way.
// Writes nothing.
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
// older one is still being written takes its place. Nothing for no path, or
// nowplaying=off. Safe on any thread.
void postNowPlaying(const NowPlayingSettings& settings, const char16_t* text, std::size_t units);

// What became of the last text the worker finished with.
NowPlayingOutcome lastNowPlayingOutcome();

// checkNowPlayingTarget for the JSON file (NotATextFile: its name does not end in .json).
NowPlayingOutcome checkNowPlayingJsonTarget(const NowPlayingSettings& settings);

// Hands the `length` bytes at `fields` (UTF-8: "{" and the JSON object's
// members, without its end) to the worker, to be written into the JSON
// file as postNowPlaying writes the now-playing file, ended with the
// member "updated" (a number greater than the last file's) and "}" and a
// line end. Nothing without a JSON path, or under nowplaying=off. Safe on
// any thread; returns at once.
void postNowPlayingJson(const NowPlayingSettings& settings, const char* fields, std::size_t length);

// What became of the last JSON the worker finished with.
NowPlayingOutcome lastNowPlayingJsonOutcome();

// checkNowPlayingTarget for the cover (NotATextFile: its name is no image's).
NowPlayingOutcome checkNowPlayingCoverTarget(const NowPlayingSettings& settings);

// Hands the cover of the media file at `mediaPath` (UTF-16, terminated),
// the picture `cover` locates in it, to the worker, to be copied into the
// cover file as postNowPlaying writes the now-playing file; a null or
// empty `cover` (no picture, a withdraw) has the missing image written
// there instead, or the file removed. Only the path and the location are
// copied: the worker reads the picture. Nothing without a cover path, or
// under nowplaying=off. Safe on any thread; returns at once.
void postNowPlayingCover(const NowPlayingSettings& settings, const char16_t* mediaPath,
                         const CoverLocation* cover);

// What became of the last cover the worker finished with.
NowPlayingOutcome lastNowPlayingCoverOutcome();
