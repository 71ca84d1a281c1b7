#pragma once
// velkar.ini as the settings program edits it: every line kept as it is,
// the values the program shows taken out for editing, and the file written
// back with them. Reading and decoding are the plug-in's own; so is what a
// written file then means, since the preview reads it as the plug-in does.
#include <string>
#include <vector>

#include "settings/settings_file.h"

struct SettingsDocument {
    std::vector<std::u16string> lines;  // every line of the file, without its line end
    // The two profile lines: index 0 is line 1 (every other file), 1 is line
    // 2 (.mp3 and .wav files). A category is 1 to 4; a template is what
    // follows the line's first comma.
    int category[SETTINGS_LINES_READ];
    std::u16string templateText[SETTINGS_LINES_READ];
    // The now-playing file's settings as written; an empty text means none
    // given (the display line).
    std::u16string nowPlayingPath;
    std::u16string nowPlayingText;
    std::u16string withdrawnText;
    NowPlayingEncoding encoding;
};

// Reads the `size` bytes of a settings file into `document`: its lines as
// the plug-in decodes them (UTF-8 or the ANSI code page, as it decides), a
// missing profile line as the built-in wording, and the values of the
// name=value lines (the last of a name counts, as for the plug-in).
void loadSettingsDocument(const char* bytes, std::size_t size, SettingsDocument& document);

// The document with no file: the built-in wording and no now-playing file.
void loadDefaultSettingsDocument(SettingsDocument& document);

// The file that holds `document`: its two profile lines first, then every
// other line where it was, a name=value line the program knows updated in
// place (the earlier of a repeated name dropped, nowplaying-text dropped when
// it is empty), a new one added at the end. Lines end in CRLF. In the ANSI
// code page when every character fits it, else UTF-8 with its mark; `utf8`
// says which.
std::string renderSettingsDocument(const SettingsDocument& document, bool& utf8);

// What to do when a save has failed.
enum class FailedSaveStep {
    AskForAdministratorRights,  // the folder needs them, and this process has none
    Report,                     // nothing more to try
};

// Decides after a failed save: access was denied (`accessDenied`) to a
// process that may ask for more rights (not `elevated` already).
FailedSaveStep decideAfterFailedSave(bool accessDenied, bool elevated);
