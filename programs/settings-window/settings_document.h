#pragma once
// velkar.ini as the settings program edits it. The file's bytes are kept as
// they were read: a save writes every line the user did not change back
// byte for byte (comments, unknown names, invalid bytes, lone carriage
// returns, repeated names, empty values, whatever follows a Ctrl-Z), and a
// changed line in the file's own encoding and line ends. Reading and
// decoding are the plug-in's own, and so is the check of a save: the bytes
// about to be written are read back as the plug-in reads them, and must
// give what the window shows.
#include <string>
#include <vector>

#include "settings/settings_file.h"

// How the file's bytes are written.
enum class SettingsFileEncoding { Ansi, Utf8, Utf8WithMark, Utf16LittleEndian, Utf16BigEndian };

// What loading found.
enum class SettingsLoad {
    Missing,     // no file yet: the defaults are shown, and a save makes it
    Read,        // read whole, and shown
    Unreadable,  // shown as nothing, and never saved over
};

// Why a file is unreadable.
enum class SettingsUnreadable {
    None,
    CannotOpen,     // another program holds it without sharing, or access is denied
    ReadError,      // it could not be read to its end
    TooLarge,       // larger than the plug-in reads
    NulCharacters,  // text holds U+0000: no text the window could show and give back
};

// What the window shows and edits. A profile line's category is 1 to 4; its
// template is what follows the line's first comma. An empty now-playing
// text means none given (the display line).
struct SettingsValues {
    int category[SETTINGS_LINES_READ];
    std::u16string templateText[SETTINGS_LINES_READ];
    std::u16string nowPlayingPath;
    std::u16string nowPlayingText;
    std::u16string withdrawnText;
    NowPlayingEncoding encoding;
    // The Discord lines, as the plug-in takes them (a refused value does not count).
    std::u16string discordApplicationId;
    std::u16string discordTemplate[PRESENCE_FIELDS];
    PresenceShows discordShows;
    PresenceTime discordTime;
    std::u16string discordImage;
    // The switches and rules, as the words of their lines: "on" or "off"
    // ("" for a presence switched by its id alone), the margin's seconds or
    // "never", the private patterns, "extension" or "content".
    std::u16string discordSwitch;
    std::u16string nowPlayingSwitch;
    std::u16string staleAfter;
    std::u16string privatePatterns;
    std::u16string audioFiles;
    // The overlay files' paths as written: relative, with variables.
    std::u16string nowPlayingJsonPath;
    std::u16string nowPlayingCoverPath;
    std::u16string nowPlayingCoverMissingPath;
};

bool operator==(const SettingsValues& first, const SettingsValues& second);

// One line of the file as read: its bytes without the line end, the line
// end's bytes (empty for a last line without one), and its text as the
// plug-in decodes it.
struct SettingsFileLine {
    std::string bytes;
    std::string end;
    std::u16string text;
};

struct SettingsDocument {
    SettingsLoad load;
    SettingsUnreadable unreadable;
    SettingsFileEncoding fileEncoding;
    std::string bytes;                    // the file as read: a save replaces only these
    std::string mark;                     // the byte-order mark the file began with
    std::vector<SettingsFileLine> lines;  // up to a Ctrl-Z
    std::string tail;                     // from a Ctrl-Z on, kept as it was
    // For each name, the line whose value the plug-in takes (from 1; 0: none).
    unsigned optionLines[SETTINGS_OPTION_NAMES];
    SettingsValues loaded;  // as read: what a line's change is measured against
    SettingsValues values;  // as the window shows them now
};

// Reads the `size` bytes of a settings file into `document`, every value as
// the plug-in's own reader takes it (the encoding it decides, a missing or
// unusable profile line as the built-in wording, a profile line as far as
// its buffer reads, the last line of a name whose value it accepts): Read,
// or Unreadable when the file is larger than SETTINGS_FILE_CAPACITY or its
// text holds U+0000.
void loadSettingsDocument(const char* bytes, std::size_t size, SettingsDocument& document);

// The document with no file: the built-in wording and no now-playing file.
void loadMissingSettingsDocument(SettingsDocument& document);

// A file that could not be read, for `reason`: nothing shown, nothing saved.
void loadUnreadableSettingsDocument(SettingsUnreadable reason, SettingsDocument& document);

// Why a save is refused.
enum class SettingsSaveProblem {
    None,
    Unreadable,          // the file was not read faithfully: nothing is written over it
    LineNotConvertible,  // an untouched line holds bytes the code page gives no meaning to
    ReadOtherwise,       // the plug-in would read the bytes otherwise than the window shows
};

// Why the plug-in would read a line otherwise, as its reader says.
enum class SettingsLineRefusal {
    None,            // no reason of the line's own (the lines around it moved)
    TooLong,         // longer than the plug-in's line buffer
    NoMarker,        // a template without a marker
    NotProfileLine,  // no category number and comma
    BadValue,        // a value the plug-in does not take
};

// What rendering made, and where it went wrong.
struct SettingsSaveResult {
    SettingsSaveProblem problem;
    std::size_t lineNumber;  // for LineNotConvertible and ReadOtherwise; 0 when none
    SettingsFileEncoding encoding;
    SettingsLineRefusal refusal;  // for ReadOtherwise
};

// Renders the file that holds `document.values` into `bytes`: the lines the
// user did not change as they were, byte for byte; a changed profile line
// with only the bytes of its number or of the text after its first comma
// replaced; where line 1 or 2 is no profile line (a comment), the new
// profile line takes its place and the user's line follows the profile
// lines; a changed name=value line with only its value's bytes replaced, on
// the line whose value the plug-in takes (when a now-playing text is
// emptied, every line the plug-in would take for it goes, so the display
// line counts), or a new one added after the last line; a line the plug-in
// ignores stays. ANSI files take a character the code page lacks by
// becoming UTF-8 with the mark; UTF-8 and UTF-16 files keep their encoding
// and mark. The result is read back by the plug-in's own reader, and must
// give `document.values` and every line's text; an ANSI file read
// otherwise is made UTF-8 with its mark and checked again. On any problem
// `bytes` is empty and must not be written.
SettingsSaveResult renderSettingsDocument(const SettingsDocument& document, std::string& bytes);

// `target` with each value the user changed (where `edited` differs from
// `loaded`) set as in `edited`: the user's changes carried over to a file
// read anew.
void carryOverChanges(const SettingsValues& loaded, const SettingsValues& edited,
                      SettingsValues& target);

constexpr char SETTINGS_FILE_MISSING[] = "missing";

// What a save expects to replace, as the elevated copy is told it: "missing",
// or the size and a 64-bit FNV-1a hash of the bytes ("1234-0123456789abcdef").
std::string settingsFileFingerprint(const SettingsDocument& document);
std::string settingsFileFingerprint(const std::string& bytes);

// A sentence that says why a file is unreadable, or why a save is refused.
std::u16string describeUnreadable(SettingsUnreadable reason);
std::u16string describeSaveProblem(const SettingsSaveResult& result);

// The encoding's name as the window says it ("UTF-8", "ANSI", "UTF-16LE"...).
const char16_t* settingsFileEncodingName(SettingsFileEncoding encoding);

// What to do when a save has failed.
enum class FailedSaveStep {
    AskForAdministratorRights,  // the folder needs them, and this process has none
    Report,                     // nothing more to try
};

// Decides after a failed save: access was denied (`accessDenied`) to a
// process that may ask for more rights (not `elevated` already).
FailedSaveStep decideAfterFailedSave(bool accessDenied, bool elevated);

// Whether the elevated copy may write `contents` (`size` bytes) to
// `target`: the target's file name is velkar.ini in any letter case, the path
// begins with a drive letter ("X:\"), and the contents are a settings file
// the plug-in reads faithfully, SETTINGS_FILE_CAPACITY bytes at most.
// Whether the target's folder exists is the caller's to check.
bool mayWriteElevated(const char16_t* target, const char* contents, std::size_t size);
