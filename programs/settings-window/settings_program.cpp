// velkar-settings: shows and edits the velkar.ini the plug-in reads, with a
// live preview of what the messenger and the now-playing file will get for
// a media file, composed by the plug-in's own code.
//
//   velkar-settings [MEDIA FILE]
//   velkar-settings --save-only TARGET CONTENTS EXPECTED
//       writes the bytes of the file CONTENTS to TARGET, whole, and exits
//       with 0 or the Windows error that stopped it: what the program starts
//       with administrator rights when a folder needs them, given what to
//       write and where, so that it never looks for the file again. It
//       writes only a settings file: TARGET must be X:\...\velkar.ini in a
//       folder that exists, CONTENTS at most 64 KiB of settings the plug-in
//       reads faithfully; it deletes nothing, the contents file included.
//       EXPECTED is what TARGET must hold still ("missing", or its size and
//       hash, as settingsFileFingerprint says): else nothing is written.
//
// One thread owns every window.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// The common-control headers need windows.h first.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "outputs/now_playing_json.h"
#include "outputs/presence.h"
#include "platform/platform.h"
#include "programs/settings-window/settings_document.h"
#include "programs/settings-window/settings_program_ids.h"
#include "programs/settings_report.h"
#include "programs/status_fields.h"
#include "settings/settings_file.h"
#include "status/duration_text.h"
#include "status/playback_rules.h"
#include "status/status_text.h"
#include "text/unicode_text.h"
#include "velkar_build_config.h"

namespace {

constexpr const wchar_t* SAVE_ONLY = L"--save-only";
// The temporary file is the target's name with this, the process id and a count after it.
constexpr const wchar_t* TEMPORARY_MARK = L".velkar-";
constexpr unsigned TEMPORARY_NAME_TRIES = 16;
// Shown when no media file is chosen: a name with no file behind it.
constexpr const wchar_t* SAMPLE_MEDIA = L"C:\\Music\\My_Band_-_Best_Song.mp3";
const wchar_t* const CATEGORY_NAMES[] = {L"Music", L"Office", L"Games", L"Empty"};
const wchar_t* const MARKERS[] = {
    L"[FILENAME]",           L"[TAGS]", L"[TITLE]", L"[ARTIST]", L"[ALBUM]", L"[DURATION]",
    L"[MUSICBRAINZ_ALBUMID]"};
constexpr int MARKER_COUNT = sizeof MARKERS / sizeof MARKERS[0];
// By PresenceShows and PresenceTime.
const wchar_t* const DISCORD_SHOWS[] = {L"The application's name", L"The first line (details)",
                                        L"The second line (state)"};
const wchar_t* const DISCORD_TIMES[] = {L"A bar to the track's end", L"The time elapsed",
                                        L"No time"};
// Posted to the dialog when a test of the application id is done; its
// wParam is the PresenceCheck.
constexpr UINT MESSAGE_DISCORD_TESTED = WM_APP + 1;
const wchar_t* const ENCODINGS[] = {L"utf-8", L"utf-8-bom", L"utf-16", L"ansi"};
// By AudioFiles.
const wchar_t* const AUDIO_FILES_CHOICES[] = {L"Their name: .mp3 and .wav files are music",
                                              L"What they hold: a file without pictures is music"};
const wchar_t* const AFTER_SAVING =
    L"The plug-in takes the changes within a few seconds while something plays, from the "
    L"player's next command on.";

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
const char16_t* utf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

std::wstring wideString(const std::u16string& text) {
    return std::wstring(wide(text.c_str()), text.size());
}

std::u16string utf16String(const std::wstring& text) {
    return std::u16string(utf16(text.c_str()), text.size());
}

// Errors of this program's own (bit 29 marks an application's).
constexpr DWORD SAVE_TARGET_CHANGED = 0x20000001;    // not what was read
constexpr DWORD SAVE_TARGET_READ_ONLY = 0x20000002;  // the file is read-only
constexpr DWORD SAVE_TARGET_LINKED = 0x20000003;     // the file has other names

// What reading a whole file found.
enum class WholeRead { Read, Missing, CannotOpen, ReadError, TooLarge };
WholeRead readWhole(const wchar_t* path, std::string& bytes);

// Whether the file at `path` is as `expected` says (settingsFileFingerprint),
// and may be replaced: read-only or with other names (hard links) it may not.
// Returns 0 or why not.
DWORD checkTarget(const std::wstring& path, const std::string& expected) {
    if (expected == SETTINGS_FILE_MISSING) {
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? ERROR_SUCCESS
                                                                           : SAVE_TARGET_CHANGED;
    }
    std::string now;
    if (readWhole(path.c_str(), now) != WholeRead::Read ||
        settingsFileFingerprint(now) != expected) {
        return SAVE_TARGET_CHANGED;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return SAVE_TARGET_READ_ONLY;
    }
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool linked = file != INVALID_HANDLE_VALUE &&
                        GetFileInformationByHandle(file, &information) != 0 &&
                        information.nNumberOfLinks > 1;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return linked ? SAVE_TARGET_LINKED : ERROR_SUCCESS;
}

// Writes `bytes` to `path` whole: a temporary file beside it, of a name no
// file has yet, then put in its place in one step, so the file is never
// half-written, and only while `path` holds what `expected` says
// (settingsFileFingerprint; empty: anything). A file that was missing is
// moved in only where none has come meanwhile; a file that was there is
// replaced keeping its access rights, attributes and streams. Returns 0 or
// the Windows error (or SAVE_TARGET_...) that stopped it, the old file
// untouched.
DWORD saveWhole(const std::wstring& path, const std::string& bytes, const std::string& expected) {
    if (!expected.empty()) {
        const DWORD refused = checkTarget(path, expected);
        if (refused != ERROR_SUCCESS) return refused;
    }
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned count = 0; count < TEMPORARY_NAME_TRIES && file == INVALID_HANDLE_VALUE;
         ++count) {
        wchar_t suffix[40];
        std::swprintf(suffix, 40, L"%ls%lx-%x", TEMPORARY_MARK,
                      static_cast<unsigned long>(GetCurrentProcessId()), count);
        temporary = path + suffix;
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
        written == bytes.size() && FlushFileBuffers(file) != 0;
    DWORD error = wrote ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    if (error == ERROR_SUCCESS) {
        const bool wasThere = expected.empty()
                                  ? GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES
                                  : expected != SETTINGS_FILE_MISSING;
        // The file keeps its own name, whatever letter case the path gave.
        std::wstring replaced = path;
        WIN32_FIND_DATAW found;
        const HANDLE search =
            wasThere ? FindFirstFileW(path.c_str(), &found) : INVALID_HANDLE_VALUE;
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            const std::size_t separator = path.find_last_of(L"\\/");
            replaced = path.substr(0, separator == std::wstring::npos ? 0 : separator + 1) +
                       found.cFileName;
        }
        const bool done =
            wasThere ? ReplaceFileW(replaced.c_str(), temporary.c_str(), nullptr,
                                    REPLACEFILE_WRITE_THROUGH, nullptr, nullptr) != 0
                     : MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        if (!done) error = GetLastError();
        if (!wasThere && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
            error = SAVE_TARGET_CHANGED;
        }
    }
    if (error != ERROR_SUCCESS) DeleteFileW(temporary.c_str());
    return error;
}

// The whole file at `path`, opened sharing everything, as the plug-in opens
// it, when it is a settings file's size at most.
WholeRead readWhole(const wchar_t* path, std::string& bytes) {
    const HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? WholeRead::Missing
                   : WholeRead::CannotOpen;
    }
    LARGE_INTEGER size{};
    WholeRead result = WholeRead::Read;
    if (GetFileSizeEx(file, &size) == 0) {
        result = WholeRead::ReadError;
    } else if (size.QuadPart > static_cast<LONGLONG>(SETTINGS_FILE_CAPACITY)) {
        result = WholeRead::TooLarge;
    } else {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (!bytes.empty() &&
            (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) == 0 ||
             read != bytes.size())) {
            result = WholeRead::ReadError;
        }
    }
    CloseHandle(file);
    return result;
}

bool processIsElevated() {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0 &&
        elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

std::wstring errorText(DWORD error) {
    switch (error) {
        case SAVE_TARGET_CHANGED:
            return L"velkar.ini changed since it was opened";
        case SAVE_TARGET_READ_ONLY:
            return L"velkar.ini is read-only (its Properties say so)";
        case SAVE_TARGET_LINKED:
            return L"velkar.ini has other names (hard links), which a save would part from it";
        default:
            break;
    }
    wchar_t* message = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = message != nullptr ? message : L"";
    LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    wchar_t number[32];
    std::swprintf(number, 32, L"error %lu", static_cast<unsigned long>(error));
    return text.empty() ? number : text + L" (" + number + L")";
}

// Whether `target`'s folder exists.
bool folderExists(const std::wstring& target) {
    const std::size_t separator = target.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return false;
    const std::wstring folder = target.substr(0, separator == 2 ? 3 : separator);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The --save-only mode: the contents file's bytes to the target, when the
// target is a settings file and the bytes are settings.
int saveOnly(const wchar_t* target, const wchar_t* contents, const wchar_t* expected) {
    std::string bytes;
    if (readWhole(contents, bytes) != WholeRead::Read) return ERROR_FILE_NOT_FOUND;
    std::string expectedText;
    for (const wchar_t* at = expected; *at != L'\0'; ++at) {
        expectedText += *at < 0x80 ? static_cast<char>(*at) : '?';
    }
    if (!mayWriteElevated(utf16(target), bytes.data(), bytes.size()) || !folderExists(target) ||
        expectedText.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    return static_cast<int>(saveWhole(target, bytes, expectedText));
}

struct Window {
    HWND dialog = nullptr;
    char16_t settingsPath[SETTINGS_PATH_CAPACITY] = {};
    SettingsDocument document;
    std::wstring mediaPath;  // empty: the sample
    HWND lastTemplate = nullptr;
    bool filling = false;  // the controls are being set, not edited
    unsigned touched = 0;  // the controls the user has edited, by TOUCHED_ flags
};

// The controls whose values go into the file, as flags of Window::touched:
// a value is taken from its control only once the user has edited it, so
// a value the control could not hold exactly is never written back.
enum : unsigned {
    TOUCHED_VIDEO_CATEGORY = 1u << 0,
    TOUCHED_VIDEO_TEMPLATE = 1u << 1,
    TOUCHED_AUDIO_CATEGORY = 1u << 2,
    TOUCHED_AUDIO_TEMPLATE = 1u << 3,
    TOUCHED_PATH = 1u << 4,
    TOUCHED_TEXT = 1u << 5,
    TOUCHED_WITHDRAWN = 1u << 6,
    TOUCHED_ENCODING = 1u << 7,
    TOUCHED_DISCORD_ID = 1u << 8,
    TOUCHED_DISCORD_DETAILS = 1u << 9,
    TOUCHED_DISCORD_STATE = 1u << 10,
    TOUCHED_DISCORD_IMAGE_TEXT = 1u << 11,
    TOUCHED_DISCORD_IMAGE = 1u << 12,
    TOUCHED_DISCORD_SHOWS = 1u << 13,
    TOUCHED_DISCORD_TIME = 1u << 14,
    TOUCHED_NOW_PLAYING_ON = 1u << 15,
    TOUCHED_DISCORD_ON = 1u << 16,
    TOUCHED_AUDIO_FILES = 1u << 17,
    TOUCHED_PRIVATE = 1u << 18,
    TOUCHED_STALE_AFTER = 1u << 19,
    TOUCHED_JSON = 1u << 20,
    TOUCHED_COVER = 1u << 21,
    TOUCHED_COVER_MISSING = 1u << 22,
};

// The Discord edit boxes and their template fields.
constexpr int DISCORD_TEMPLATE_CONTROLS[PRESENCE_FIELDS] = {IDC_DISCORD_DETAILS, IDC_DISCORD_STATE,
                                                            IDC_DISCORD_IMAGE_TEXT};

unsigned touchedFlagOf(int id) {
    switch (id) {
        case IDC_VIDEO_CATEGORY:
            return TOUCHED_VIDEO_CATEGORY;
        case IDC_VIDEO_TEMPLATE:
            return TOUCHED_VIDEO_TEMPLATE;
        case IDC_AUDIO_CATEGORY:
            return TOUCHED_AUDIO_CATEGORY;
        case IDC_AUDIO_TEMPLATE:
            return TOUCHED_AUDIO_TEMPLATE;
        case IDC_NOW_PLAYING_PATH:
            return TOUCHED_PATH;
        case IDC_NOW_PLAYING_TEXT:
            return TOUCHED_TEXT;
        case IDC_NOW_PLAYING_WITHDRAWN:
            return TOUCHED_WITHDRAWN;
        case IDC_NOW_PLAYING_ENCODING:
            return TOUCHED_ENCODING;
        case IDC_DISCORD_ID:
            return TOUCHED_DISCORD_ID;
        case IDC_DISCORD_DETAILS:
            return TOUCHED_DISCORD_DETAILS;
        case IDC_DISCORD_STATE:
            return TOUCHED_DISCORD_STATE;
        case IDC_DISCORD_IMAGE_TEXT:
            return TOUCHED_DISCORD_IMAGE_TEXT;
        case IDC_DISCORD_IMAGE:
            return TOUCHED_DISCORD_IMAGE;
        case IDC_DISCORD_SHOWS:
            return TOUCHED_DISCORD_SHOWS;
        case IDC_DISCORD_TIME:
            return TOUCHED_DISCORD_TIME;
        case IDC_NOW_PLAYING_ON:
            return TOUCHED_NOW_PLAYING_ON;
        case IDC_DISCORD_ON:
            return TOUCHED_DISCORD_ON;
        case IDC_AUDIO_FILES:
            return TOUCHED_AUDIO_FILES;
        case IDC_PRIVATE:
            return TOUCHED_PRIVATE;
        case IDC_STALE_AFTER:
            return TOUCHED_STALE_AFTER;
        case IDC_NOW_PLAYING_JSON:
            return TOUCHED_JSON;
        case IDC_NOW_PLAYING_COVER:
            return TOUCHED_COVER;
        case IDC_NOW_PLAYING_COVER_MISSING:
            return TOUCHED_COVER_MISSING;
        default:
            return 0;
    }
}

Window window;

HWND control(int id) { return GetDlgItem(window.dialog, id); }

std::wstring textOf(int id) {
    const int length = GetWindowTextLengthW(control(id));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control(id), &text[0], length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void setText(int id, const std::wstring& text) { SetWindowTextW(control(id), text.c_str()); }

std::wstring classOf(HWND handle) {
    wchar_t name[64];
    GetClassNameW(handle, name, 64);
    return name;
}

void fillList(int id, const wchar_t* const* items, int count, int selected) {
    SendMessageW(control(id), CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        SendMessageW(control(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
    }
    SendMessageW(control(id), CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

int selection(int id) { return static_cast<int>(SendMessageW(control(id), CB_GETCURSEL, 0, 0)); }

bool isTicked(int id) { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void setTicked(int id, bool ticked) {
    SendMessageW(control(id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

const char16_t SWITCH_ON[] = u"on";
const char16_t SWITCH_OFF[] = u"off";
const char16_t AUDIO_BY_EXTENSION[] = u"extension";
const char16_t AUDIO_BY_CONTENT[] = u"content";

// Discord is on with discord=on, or without a discord= line when an id is
// given; the now-playing file unless nowplaying=off. An id typed while no
// discord= line is there ticks the box, as the plug-in would take it.
void showSwitches() {
    const SettingsValues& values = window.document.values;
    const bool filling = window.filling;
    window.filling = true;
    setTicked(IDC_DISCORD_ON,
              values.discordSwitch == SWITCH_ON ||
                  (values.discordSwitch.empty() && !values.discordApplicationId.empty()));
    setTicked(IDC_NOW_PLAYING_ON, values.nowPlayingSwitch != SWITCH_OFF);
    window.filling = filling;
}

bool isUnreadable() { return window.document.load == SettingsLoad::Unreadable; }

// Whether a value differs from the file's.
bool isChanged() { return !(window.document.values == window.document.loaded); }

void showSettingsFile() {
    std::wstring note;
    if (window.document.load == SettingsLoad::Missing) {
        note = L"  (not there yet: saving makes it)";
    } else if (isUnreadable()) {
        note = L"  (not read: " + wideString(describeUnreadable(window.document.unreadable)) + L")";
    }
    setText(IDC_SETTINGS_FILE, std::wstring(wide(window.settingsPath)) + note);
}

void fillControls() {
    window.filling = true;
    const SettingsValues& document = window.document.values;
    fillList(IDC_VIDEO_CATEGORY, CATEGORY_NAMES, 4, document.category[0] - 1);
    setText(IDC_VIDEO_TEMPLATE, wideString(document.templateText[0]));
    fillList(IDC_AUDIO_CATEGORY, CATEGORY_NAMES, 4, document.category[1] - 1);
    setText(IDC_AUDIO_TEMPLATE, wideString(document.templateText[1]));
    fillList(IDC_MARKER, MARKERS, MARKER_COUNT, 0);
    setText(IDC_NOW_PLAYING_PATH, wideString(document.nowPlayingPath));
    setText(IDC_NOW_PLAYING_TEXT, wideString(document.nowPlayingText));
    setText(IDC_NOW_PLAYING_WITHDRAWN, wideString(document.withdrawnText));
    fillList(IDC_NOW_PLAYING_ENCODING, ENCODINGS, 4, static_cast<int>(document.encoding));
    setText(IDC_NOW_PLAYING_JSON, wideString(document.nowPlayingJsonPath));
    setText(IDC_NOW_PLAYING_COVER, wideString(document.nowPlayingCoverPath));
    setText(IDC_NOW_PLAYING_COVER_MISSING, wideString(document.nowPlayingCoverMissingPath));
    setText(IDC_DISCORD_ID, wideString(document.discordApplicationId));
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        setText(DISCORD_TEMPLATE_CONTROLS[field], wideString(document.discordTemplate[field]));
    }
    setText(IDC_DISCORD_IMAGE, wideString(document.discordImage));
    fillList(IDC_DISCORD_SHOWS, DISCORD_SHOWS, 3, static_cast<int>(document.discordShows));
    fillList(IDC_DISCORD_TIME, DISCORD_TIMES, 3, static_cast<int>(document.discordTime));
    fillList(IDC_AUDIO_FILES, AUDIO_FILES_CHOICES, 2, document.audioFiles == AUDIO_BY_CONTENT);
    setText(IDC_PRIVATE, wideString(document.privatePatterns));
    setText(IDC_STALE_AFTER, wideString(document.staleAfter));
    showSwitches();
    // The path to take, shown while the field is empty.
    SendMessageW(control(IDC_NOW_PLAYING_PATH), EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(wide(SUGGESTED_NOW_PLAYING_PATH)));
    window.filling = false;
}

void takeControls() {
    SettingsValues& document = window.document.values;
    const unsigned touched = window.touched;
    if (touched & TOUCHED_VIDEO_CATEGORY) document.category[0] = selection(IDC_VIDEO_CATEGORY) + 1;
    if (touched & TOUCHED_VIDEO_TEMPLATE) {
        document.templateText[0] = utf16String(textOf(IDC_VIDEO_TEMPLATE));
    }
    if (touched & TOUCHED_AUDIO_CATEGORY) document.category[1] = selection(IDC_AUDIO_CATEGORY) + 1;
    if (touched & TOUCHED_AUDIO_TEMPLATE) {
        document.templateText[1] = utf16String(textOf(IDC_AUDIO_TEMPLATE));
    }
    if (touched & TOUCHED_PATH) document.nowPlayingPath = utf16String(textOf(IDC_NOW_PLAYING_PATH));
    if (touched & TOUCHED_TEXT) document.nowPlayingText = utf16String(textOf(IDC_NOW_PLAYING_TEXT));
    if (touched & TOUCHED_WITHDRAWN) {
        document.withdrawnText = utf16String(textOf(IDC_NOW_PLAYING_WITHDRAWN));
    }
    if (touched & TOUCHED_ENCODING) {
        document.encoding = static_cast<NowPlayingEncoding>(selection(IDC_NOW_PLAYING_ENCODING));
    }
    if (touched & TOUCHED_DISCORD_ID) {
        document.discordApplicationId = utf16String(textOf(IDC_DISCORD_ID));
    }
    for (int field = 0; field < PRESENCE_FIELDS; ++field) {
        if (touched & (TOUCHED_DISCORD_DETAILS << field)) {
            document.discordTemplate[field] = utf16String(textOf(DISCORD_TEMPLATE_CONTROLS[field]));
        }
    }
    if (touched & TOUCHED_DISCORD_IMAGE) {
        document.discordImage = utf16String(textOf(IDC_DISCORD_IMAGE));
    }
    if (touched & TOUCHED_DISCORD_SHOWS) {
        document.discordShows = static_cast<PresenceShows>(selection(IDC_DISCORD_SHOWS));
    }
    if (touched & TOUCHED_DISCORD_TIME) {
        document.discordTime = static_cast<PresenceTime>(selection(IDC_DISCORD_TIME));
    }
    if (touched & TOUCHED_DISCORD_ON) {
        document.discordSwitch = isTicked(IDC_DISCORD_ON) ? SWITCH_ON : SWITCH_OFF;
    }
    if (touched & TOUCHED_NOW_PLAYING_ON) {
        document.nowPlayingSwitch = isTicked(IDC_NOW_PLAYING_ON) ? SWITCH_ON : SWITCH_OFF;
    }
    if (touched & TOUCHED_AUDIO_FILES) {
        document.audioFiles =
            selection(IDC_AUDIO_FILES) == 1 ? AUDIO_BY_CONTENT : AUDIO_BY_EXTENSION;
    }
    if (touched & TOUCHED_PRIVATE) document.privatePatterns = utf16String(textOf(IDC_PRIVATE));
    if (touched & TOUCHED_STALE_AFTER) document.staleAfter = utf16String(textOf(IDC_STALE_AFTER));
    if (touched & TOUCHED_JSON) {
        document.nowPlayingJsonPath = utf16String(textOf(IDC_NOW_PLAYING_JSON));
    }
    if (touched & TOUCHED_COVER) {
        document.nowPlayingCoverPath = utf16String(textOf(IDC_NOW_PLAYING_COVER));
    }
    if (touched & TOUCHED_COVER_MISSING) {
        document.nowPlayingCoverMissingPath = utf16String(textOf(IDC_NOW_PLAYING_COVER_MISSING));
    }
}

std::wstring utf8Text(const char* text, std::size_t length) {
    std::u16string wide(length, u'\0');
    wide.resize(convertUtf8ToUtf16(text, length, &wide[0], wide.size()));
    return wideString(wide);
}

// The presence's lines as Discord shows them for the composed file.
void showDiscordPreview(const ComposedStatus& composed, const PresenceSettings& presence) {
    PresenceActivity activity;
    composePresenceActivity(composed, presence, 0, activity);
    const PresenceText& details = activity.texts[PRESENCE_DETAILS];
    const PresenceText& state = activity.texts[PRESENCE_STATE];
    const std::wstring verb = activity.watching ? L"Watching " : L"Listening to ";
    std::wstring listed = L"(the application's name)";
    if (presence.shows == PresenceShows::Details && details.length > 0) {
        listed = utf8Text(details.text, details.length);
    } else if (presence.shows == PresenceShows::State && state.length > 0) {
        listed = utf8Text(state.text, state.length);
    }
    const wchar_t* nothing = presence.switched == PresenceSwitch::Off
                                 ? L"(nothing: Discord is off)"
                                 : L"(nothing: no application id)";
    setText(IDC_PREVIEW_DISCORD_LIST, presenceWanted(presence) ? verb + listed : nothing);
    const bool shown = presenceWanted(presence);
    setText(IDC_PREVIEW_DISCORD_DETAILS, shown ? utf8Text(details.text, details.length) : L"");
    setText(IDC_PREVIEW_DISCORD_STATE, shown ? utf8Text(state.text, state.length) : L"");
    setText(IDC_PREVIEW_DISCORD_IMAGE, !shown ? L""
                                       : activity.image[0] == '\0'
                                           ? L"(none)"
                                           : utf8Text(activity.image, std::strlen(activity.image)));
}

// The file's cover, as the cover file would get it, and the JSON file's fields.
void showOverlayPreview(const AnnouncedPath& path, const ComposedStatus& composed,
                        const NowPlayingSettings& nowPlaying) {
    static const wchar_t* const FORMATS[] = {L"a picture", L"JPEG", L"PNG",
                                             L"GIF",       L"BMP",  L"WebP"};
    const CoverLocation& cover = composed.cover;
    std::wstring shown;
    if (!nowPlayingCoverWanted(nowPlaying)) {
        shown = L"(no cover file: no path, or it is off)";
    } else if (cover.coding == PictureCoding::None) {
        shown = nowPlaying.coverMissingPath[0] != u'\0' ? L"none: the picture for files without one"
                                                        : L"none: the cover file is removed";
    } else {
        shown = std::wstring(FORMATS[static_cast<int>(cover.format)]) + L", " +
                std::to_wstring(cover.size) + L" bytes" +
                (cover.front ? L", the front cover" : L", the first picture");
    }
    setText(IDC_PREVIEW_COVER, shown);
    if (!nowPlayingJsonWanted(nowPlaying)) {
        setText(IDC_PREVIEW_JSON, L"(no JSON file: no path, or it is off)");
        return;
    }
    static char fields[NOW_PLAYING_JSON_CAPACITY];
    const std::size_t length = writeNowPlayingJsonFields(
        &composed, &path, unixTimeMilliseconds() / 1000, true, fields, sizeof fields);
    setText(IDC_PREVIEW_JSON, utf8Text(fields, length) + L",\"updated\":...}");
}

// What a test of the application id found, in words.
std::wstring describeCheck(PresenceCheck check, const char* userName) {
    switch (check) {
        case PresenceCheck::Connected:
            return L"Connected to Discord as " + utf8Text(userName, std::strlen(userName)) + L".";
        case PresenceCheck::NotRunning:
            return L"Not connected: Discord is not running here (a browser's Discord has no "
                   L"connection).";
        case PresenceCheck::InvalidId:
            return L"Not connected: Discord knows no application with this id.";
        case PresenceCheck::NoAnswer:
            return L"Not connected: Discord did not answer.";
        default:
            return L"Not connected: the connection failed.";
    }
}

// The test runs on a thread of its own, which owns no window: it waits for
// Discord's answer up to 5 s, and the window stays usable meanwhile.
char testedId[PRESENCE_ID_CAPACITY];
char testedUserName[PRESENCE_USER_NAME_CAPACITY];

DWORD WINAPI testApplicationId(void* dialog) {
    const PresenceCheck found = checkPresenceConnection(testedId, testedUserName);
    PostMessageW(static_cast<HWND>(dialog), MESSAGE_DISCORD_TESTED, static_cast<WPARAM>(found), 0);
    return 0;
}

void startTest() {
    std::wstring id = textOf(IDC_DISCORD_ID);
    // Without an id of the user's, the build's own application, as discord=on takes it.
    if (id.empty()) {
        for (const char* own = VELKAR_DISCORD_APPLICATION_ID; *own != '\0'; ++own) {
            id.push_back(static_cast<wchar_t>(*own));
        }
    }
    if (id.empty() || id.size() >= PRESENCE_ID_CAPACITY ||
        id.find_first_not_of(L"0123456789") != std::wstring::npos) {
        setText(IDC_DISCORD_TEST_RESULT,
                L"An application id is a number: copy it from Discord's "
                L"Developer Portal.");
        return;
    }
    for (std::size_t i = 0; i <= id.size(); ++i) testedId[i] = static_cast<char>(id.c_str()[i]);
    const HANDLE thread = CreateThread(nullptr, 0, testApplicationId, window.dialog, 0, nullptr);
    if (thread == nullptr) return;
    CloseHandle(thread);
    EnableWindow(control(IDC_DISCORD_TEST), FALSE);
    setText(IDC_DISCORD_TEST_RESULT, L"Connecting to Discord...");
}

std::wstring fieldText(const StatusField& field) {
    return field.begin == nullptr ? L"" : std::wstring(wide(field.begin), field.length);
}

// What the problems of the file as it would be saved say, a line each, and
// what stands in the now-playing file's way.
std::wstring problemsText(const SettingsReport& report, const NowPlayingSettings& nowPlaying) {
    std::wstring text;
    char message[240];
    const auto add = [&](unsigned line) {
        wchar_t prefix[32];
        std::swprintf(prefix, 32, L"line %u: ", line);
        text += prefix;
        for (const char* at = message; *at != '\0'; ++at) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(*at));
        }
        text += L"\r\n";
    };
    for (int line = 1; line <= SETTINGS_LINES_READ; ++line) {
        for (unsigned kind = 0; kind < SETTINGS_PROBLEM_KINDS; ++kind) {
            const SettingsProblem problem = static_cast<SettingsProblem>(1u << kind);
            if ((report.lineProblems[line - 1] & problem) == 0) continue;
            describeSettingsProblem(problem, line, message, sizeof message);
            add(static_cast<unsigned>(line));
        }
    }
    for (std::size_t i = 0; i < report.optionProblemCount && i < SETTINGS_OPTION_REPORTS; ++i) {
        describeSettingsOptionProblem(report.options[i].problem, message, sizeof message);
        add(report.options[i].lineNumber);
    }
    const auto addText = [&](const char* words) {
        for (const char* at = words; *at != '\0'; ++at) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(*at));
        }
        text += L"\r\n";
    };
    // Only what stands in the way: the paths themselves are in their fields.
    if (liesUnderProgramFiles(nowPlaying.path)) {
        addText("now-playing file: ");
        text.resize(text.size() - 2);
        addText(PROGRAM_FILES_WARNING);
    }
    if (const char* obstacle = describeNowPlayingObstacle(checkNowPlayingTarget(nowPlaying))) {
        addText("now-playing file: it will not be written: ");
        text.resize(text.size() - 2);
        addText(obstacle);
    }
    const struct {
        const char* name;
        OverlayFile file;
        NowPlayingOutcome check;
    } overlays[] = {
        {"JSON file: it will not be written: ", OverlayFile::Json,
         checkNowPlayingJsonTarget(nowPlaying)},
        {"cover picture: it will not be written: ", OverlayFile::Cover,
         checkNowPlayingCoverTarget(nowPlaying)},
    };
    for (const auto& overlay : overlays) {
        if (const char* obstacle = describeOverlayObstacle(overlay.file, overlay.check)) {
            addText(overlay.name);
            text.resize(text.size() - 2);
            addText(obstacle);
        }
    }
    return text.empty() ? L"No problems." : text;
}

// Composes, for the media file, what the plug-in would compose from the file
// as it would be saved: read and composed by the plug-in's own code.
void updatePreview() {
    if (isUnreadable()) {
        setText(IDC_PROBLEMS, L"The file was not read: nothing is shown, and nothing is saved.");
        for (int id :
             {IDC_PREVIEW_CATEGORY, IDC_PREVIEW_LINE, IDC_PREVIEW_NOW_PLAYING,
              IDC_PREVIEW_DISCORD_LIST, IDC_PREVIEW_DISCORD_DETAILS, IDC_PREVIEW_DISCORD_STATE,
              IDC_PREVIEW_DISCORD_IMAGE, IDC_PREVIEW_ENDS, IDC_PREVIEW_COVER, IDC_PREVIEW_JSON}) {
            setText(id, L"");
        }
        return;
    }
    std::string bytes;
    const SettingsSaveResult rendered = renderSettingsDocument(window.document, bytes);
    static PluginSettings settings;
    SettingsReport report{};
    readSettingsBytes(bytes.data(), bytes.size(), settings, &report);
    takeBuildApplication(settings.presence, VELKAR_DISCORD_APPLICATION_ID);
    placeNowPlayingPath(window.settingsPath, settings.nowPlaying);
    setText(IDC_PROBLEMS,
            rendered.problem != SettingsSaveProblem::None
                ? L"It cannot be saved: " + wideString(describeSaveProblem(rendered)) + L"."
                : problemsText(report, settings.nowPlaying));

    // The path as the host passes it: in the ANSI code page.
    const std::wstring media = window.mediaPath.empty() ? SAMPLE_MEDIA : window.mediaPath;
    setText(IDC_MEDIA_FILE, window.mediaPath.empty() ? media + L"  (a sample)" : media);
    std::string hostPath(3 * media.size() + 1, '\0');
    hostPath.resize(utf16ToAnsi(utf16(media.c_str()), media.size(), &hostPath[0], hostPath.size()));
    static AnnouncedPath path;
    takeAnnouncedPath(hostPath.c_str(), path);
    static ComposedStatus composed;
    const bool nowPlayingFile = nowPlayingWanted(settings.nowPlaying);
    const std::wstring noFile = settings.nowPlaying.switchedOff ? L"(no file is written: it is off)"
                                                                : L"(no file is written: no path)";
    if (isPrivatePath(settings.rules, path.text, path.length)) {
        // As the plug-in: nothing of a private file is read or shown.
        setText(IDC_PREVIEW_CATEGORY, L"(private: the messenger's status is withdrawn)");
        setText(IDC_PREVIEW_LINE, L"");
        setText(IDC_PREVIEW_NOW_PLAYING,
                nowPlayingFile ? L"(private: the text after a withdraw)" : noFile);
        setText(IDC_PREVIEW_ENDS, L"(private: nothing of it is shown anywhere)");
        setText(IDC_PREVIEW_DISCORD_LIST, L"(nothing: the file is private)");
        setText(IDC_PREVIEW_DISCORD_DETAILS, L"");
        setText(IDC_PREVIEW_DISCORD_STATE, L"");
        setText(IDC_PREVIEW_DISCORD_IMAGE, L"");
        setText(IDC_PREVIEW_COVER, L"(private: no cover)");
        setText(IDC_PREVIEW_JSON, L"(private: emptied, \"playing\": false)");
        return;
    }
    composeStatus(path, settings.profiles, composed, &settings.nowPlaying, &settings.presence,
                  &settings.rules);
    const StatusDisplay display = readStatusDisplay(composed.statusText, composed.statusLength);
    setText(IDC_PREVIEW_CATEGORY, fieldText(display.category));
    setText(IDC_PREVIEW_LINE, fieldText(display.displayLine));
    setText(IDC_PREVIEW_NOW_PLAYING,
            nowPlayingFile ? std::wstring(wide(composed.nowPlayingText), composed.nowPlayingLength)
                           : noFile);
    showDiscordPreview(composed, settings.presence);
    std::wstring ends;
    if (!nowPlayingFile && !presenceWanted(settings.presence)) {
        ends = L"(nothing to clear: neither Discord nor the file is on)";
    } else if (!settings.rules.endsByItself) {
        ends = L"never: only when the player withdraws it (stale-after=never)";
    } else if (!composed.hasDuration) {
        ends = L"never: its length is unknown, so only when the player withdraws it";
    } else {
        char16_t margin[DURATION_TEXT_CAPACITY];
        const std::size_t length = formatDuration(settings.rules.staleAfterSeconds, margin);
        ends = std::wstring(wide(margin), length) +
               L" after its end, if the player has said nothing more by then";
    }
    setText(IDC_PREVIEW_ENDS, ends);
    showOverlayPreview(path, composed, settings.nowPlaying);
}

void edited(int id) {
    if (window.filling || isUnreadable()) return;
    window.touched |= touchedFlagOf(id);
    takeControls();
    showSwitches();
    updatePreview();
}

// The controls that edit values, which an unreadable file leaves empty and off.
constexpr int VALUE_CONTROLS[] = {IDC_VIDEO_CATEGORY,
                                  IDC_VIDEO_TEMPLATE,
                                  IDC_AUDIO_CATEGORY,
                                  IDC_AUDIO_TEMPLATE,
                                  IDC_MARKER,
                                  IDC_INSERT_MARKER,
                                  IDC_NOW_PLAYING_PATH,
                                  IDC_NOW_PLAYING_BROWSE,
                                  IDC_NOW_PLAYING_TEXT,
                                  IDC_NOW_PLAYING_WITHDRAWN,
                                  IDC_NOW_PLAYING_ENCODING,
                                  IDC_NOW_PLAYING_JSON,
                                  IDC_NOW_PLAYING_COVER,
                                  IDC_NOW_PLAYING_COVER_MISSING,
                                  IDC_DISCORD_ID,
                                  IDC_DISCORD_TEST,
                                  IDC_DISCORD_DETAILS,
                                  IDC_DISCORD_STATE,
                                  IDC_DISCORD_IMAGE_TEXT,
                                  IDC_DISCORD_IMAGE,
                                  IDC_DISCORD_SHOWS,
                                  IDC_DISCORD_TIME,
                                  IDC_NOW_PLAYING_ON,
                                  IDC_DISCORD_ON,
                                  IDC_AUDIO_FILES,
                                  IDC_PRIVATE,
                                  IDC_STALE_AFTER,
                                  IDC_SAVE};

// Reads the settings file at window.settingsPath into `document`.
void readDocument(SettingsDocument& document) {
    std::string bytes;
    switch (readWhole(wide(window.settingsPath), bytes)) {
        case WholeRead::Read:
            loadSettingsDocument(bytes.data(), bytes.size(), document);
            break;
        case WholeRead::Missing:
            loadMissingSettingsDocument(document);
            break;
        case WholeRead::CannotOpen:
            loadUnreadableSettingsDocument(SettingsUnreadable::CannotOpen, document);
            break;
        case WholeRead::ReadError:
            loadUnreadableSettingsDocument(SettingsUnreadable::ReadError, document);
            break;
        case WholeRead::TooLarge:
            loadUnreadableSettingsDocument(SettingsUnreadable::TooLarge, document);
            break;
    }
}

// After a save found the file changed by another program: offers to read it
// anew with the user's changes put on it, for the user to look over and save.
void offerToReload() {
    const int answer = MessageBoxW(
        window.dialog,
        L"velkar.ini changed since it was opened: another program saved it.\n\nRead it again "
        L"and apply your changes to it? Nothing is saved until you press Save again.",
        L"Velkar Settings", MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES) {
        setText(IDC_STATUS,
                L"Not saved: velkar.ini changed since it was opened. The file is as the other "
                L"program left it.");
        return;
    }
    SettingsDocument reread;
    readDocument(reread);
    if (reread.load == SettingsLoad::Unreadable) {
        setText(IDC_STATUS,
                L"Not saved: velkar.ini changed since it was opened, and now it "
                L"cannot be read (" +
                    wideString(describeUnreadable(reread.unreadable)) + L").");
        return;
    }
    carryOverChanges(window.document.loaded, window.document.values, reread.values);
    window.document = reread;
    window.touched = 0;
    showSettingsFile();
    fillControls();
    updatePreview();
    setText(IDC_STATUS, L"Read again, with your changes on it: look it over, then press Save.");
}

// What the application id's box is for, and what an empty one means.
void showIdHelp() {
    setText(IDC_DISCORD_ID_HELP,
            VELKAR_DISCORD_APPLICATION_ID[0] != '\0'
                ? L"Empty: this build's own application, \"Velkar\". Or make one at "
                  L"discord.com/developers/applications (its name follows \"Listening to\") and "
                  L"copy its Application ID here."
                : L"Make an application at discord.com/developers/applications (its name follows "
                  L"\"Listening to\"), then copy its Application ID here. Without an id nothing "
                  L"is shown.");
}

void load() {
    char16_t pluginFolder[SETTINGS_PATH_CAPACITY];
    findSettingsPath(window.settingsPath, findPluginFolder(pluginFolder) ? pluginFolder : nullptr);
    showIdHelp();
    // Until a test has run, what Test does: the line is never an empty gap.
    setText(IDC_DISCORD_TEST_RESULT,
            L"Test asks the Discord app on this PC whether it takes the id.");
    readDocument(window.document);
    window.touched = 0;
    showSettingsFile();
    if (isUnreadable()) {
        window.filling = true;
        for (int id : VALUE_CONTROLS) {
            const bool isList = lstrcmpiW(classOf(control(id)).c_str(), WC_COMBOBOXW) == 0;
            const bool isEdit = lstrcmpiW(classOf(control(id)).c_str(), WC_EDITW) == 0;
            if (isList) SendMessageW(control(id), CB_RESETCONTENT, 0, 0);
            if (isEdit) setText(id, L"");
            if (id == IDC_DISCORD_ON || id == IDC_NOW_PLAYING_ON) setTicked(id, false);
            EnableWindow(control(id), FALSE);
        }
        window.filling = false;
        updatePreview();
        setText(IDC_STATUS, L"Not read: " +
                                wideString(describeUnreadable(window.document.unreadable)) +
                                L". Nothing is shown, and nothing will be saved over it: close "
                                L"the program that holds it, then open this window again.");
        return;
    }
    fillControls();
    updatePreview();
    setText(IDC_STATUS, AFTER_SAVING);
}

// Starts this program with administrator rights to write `bytes`, through
// the system's prompt, and waits for it, the window disabled meanwhile.
// Returns its result: 0 when saved, ERROR_CANCELLED when the rights were
// not given, or the error that stopped it.
DWORD saveWithAdministratorRights(const std::wstring& target, const std::string& bytes,
                                  const std::string& expected) {
    wchar_t folder[MAX_PATH];
    wchar_t contents[MAX_PATH];
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"vks", 0, contents) == 0) {
        return GetLastError();
    }
    const DWORD written = saveWhole(contents, bytes, "");
    if (written != ERROR_SUCCESS) {
        DeleteFileW(contents);
        return written;
    }
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring parameters = std::wstring(SAVE_ONLY) + L" \"" + target + L"\" \"" +
                                    contents + L"\" " +
                                    std::wstring(expected.begin(), expected.end());
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = window.dialog;
    execute.lpVerb = L"runas";
    execute.lpFile = program;
    execute.lpParameters = parameters.c_str();
    execute.nShow = SW_HIDE;
    DWORD result = ERROR_SUCCESS;
    if (ShellExecuteExW(&execute) == 0) {
        result = GetLastError();
    } else {
        EnableWindow(window.dialog, FALSE);
        // The window keeps painting while the other copy saves.
        while (MsgWaitForMultipleObjects(1, &execute.hProcess, FALSE, INFINITE, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        GetExitCodeProcess(execute.hProcess, &result);
        CloseHandle(execute.hProcess);
        EnableWindow(window.dialog, TRUE);
    }
    DeleteFileW(contents);
    return result;
}

void save() {
    if (isUnreadable()) {
        setText(IDC_STATUS, L"Not saved: the file was not read (" +
                                wideString(describeUnreadable(window.document.unreadable)) +
                                L"). The file is as it was.");
        return;
    }
    takeControls();
    std::string bytes;
    const SettingsSaveResult rendered = renderSettingsDocument(window.document, bytes);
    if (rendered.problem != SettingsSaveProblem::None) {
        setText(IDC_STATUS, L"Not saved: " + wideString(describeSaveProblem(rendered)) +
                                L". The file is as it was.");
        return;
    }
    const std::wstring target = wide(window.settingsPath);
    // Only what was read is replaced: another editor's save in between is kept.
    const std::string expected = settingsFileFingerprint(window.document);
    DWORD error = saveWhole(target, bytes, expected);
    bool elevated = false;
    if (error != ERROR_SUCCESS &&
        decideAfterFailedSave(error == ERROR_ACCESS_DENIED, processIsElevated()) ==
            FailedSaveStep::AskForAdministratorRights) {
        setText(IDC_STATUS,
                L"Saving there needs administrator rights: asking for them for this "
                L"save alone...");
        UpdateWindow(window.dialog);
        error = saveWithAdministratorRights(target, bytes, expected);
        elevated = true;
    }
    if (error == SAVE_TARGET_CHANGED) {
        offerToReload();
        return;
    }
    if (error == ERROR_SUCCESS) {
        // What was saved is now the file the window edits.
        loadSettingsDocument(bytes.data(), bytes.size(), window.document);
        window.touched = 0;
        showSettingsFile();
        setText(IDC_STATUS,
                L"Saved " + target + L" (" + wide(settingsFileEncodingName(rendered.encoding)) +
                    L")" + (elevated ? L" with administrator rights. " : L". ") + AFTER_SAVING);
    } else if (elevated && error == ERROR_CANCELLED) {
        setText(IDC_STATUS,
                L"Not saved: administrator rights were not given. The file is as it "
                L"was.");
    } else {
        setText(IDC_STATUS, L"Not saved: " + errorText(error) + L". The file is as it was.");
    }
}

bool chooseFile(bool saving, std::wstring& chosen) {
    wchar_t name[MAX_PATH] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window.dialog;
    dialog.lpstrFile = name;
    dialog.nMaxFile = MAX_PATH;
    // With no path yet, the user's own folder, which the player can always write.
    wchar_t localData[MAX_PATH] = L"";
    if (saving && textOf(IDC_NOW_PLAYING_PATH).empty() &&
        ExpandEnvironmentStringsW(L"%LOCALAPPDATA%", localData, MAX_PATH) - 1 < MAX_PATH - 1) {
        dialog.lpstrInitialDir = localData;
        lstrcpynW(name, L"nowplaying.txt", MAX_PATH);
    }
    if (saving) {
        dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files\0*.*\0";
        dialog.lpstrDefExt = L"txt";
        dialog.Flags =
            OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    } else {
        dialog.lpstrFilter = L"All files\0*.*\0";
        dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    }
    const bool done = saving ? GetSaveFileNameW(&dialog) != 0 : GetOpenFileNameW(&dialog) != 0;
    if (done) chosen = name;
    return done;
}

// Whether the window may close: unsaved changes are saved, left or kept.
bool mayClose() {
    if (isUnreadable() || !isChanged()) return true;
    const int answer = MessageBoxW(window.dialog, L"Save the changes to the settings file?",
                                   L"Velkar Settings", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO) return true;
    if (answer == IDYES) save();
    // Closed only once saved: a failed save stays to be seen.
    return answer == IDYES && !isChanged();
}

void insertMarker() {
    HWND target =
        window.lastTemplate != nullptr ? window.lastTemplate : control(IDC_VIDEO_TEMPLATE);
    SendMessageW(target, EM_REPLACESEL, TRUE,
                 reinterpret_cast<LPARAM>(MARKERS[selection(IDC_MARKER)]));
    SetFocus(target);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            window.dialog = dialog;
            DragAcceptFiles(dialog, TRUE);
            load();
            // The first thing to change, rather than the file's name.
            SetFocus(control(IDC_VIDEO_CATEGORY));
            return FALSE;
        case WM_DROPFILES: {
            const HDROP drop = reinterpret_cast<HDROP>(wParam);
            wchar_t name[MAX_PATH];
            if (DragQueryFileW(drop, 0, name, MAX_PATH) > 0) {
                window.mediaPath = name;
                updatePreview();
            }
            DragFinish(drop);
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            const bool isDiscordTemplate = id == IDC_DISCORD_DETAILS || id == IDC_DISCORD_STATE ||
                                           id == IDC_DISCORD_IMAGE_TEXT;
            const bool editable = id == IDC_VIDEO_TEMPLATE || id == IDC_AUDIO_TEMPLATE ||
                                  id == IDC_NOW_PLAYING_PATH || id == IDC_NOW_PLAYING_TEXT ||
                                  id == IDC_NOW_PLAYING_WITHDRAWN || id == IDC_DISCORD_ID ||
                                  id == IDC_DISCORD_IMAGE || id == IDC_PRIVATE ||
                                  id == IDC_STALE_AFTER || id == IDC_NOW_PLAYING_JSON ||
                                  id == IDC_NOW_PLAYING_COVER ||
                                  id == IDC_NOW_PLAYING_COVER_MISSING || isDiscordTemplate;
            const bool isSwitch = id == IDC_DISCORD_ON || id == IDC_NOW_PLAYING_ON;
            if ((code == EN_CHANGE && editable) || (code == CBN_SELCHANGE && id != IDC_MARKER) ||
                (code == BN_CLICKED && isSwitch)) {
                edited(id);
            } else if (code == EN_SETFOCUS &&
                       (id == IDC_VIDEO_TEMPLATE || id == IDC_AUDIO_TEMPLATE ||
                        id == IDC_NOW_PLAYING_TEXT || isDiscordTemplate)) {
                window.lastTemplate = reinterpret_cast<HWND>(lParam);
            } else if (id == IDC_INSERT_MARKER) {
                insertMarker();
            } else if (id == IDC_NOW_PLAYING_BROWSE) {
                std::wstring chosen;
                if (chooseFile(true, chosen)) setText(IDC_NOW_PLAYING_PATH, chosen);
            } else if (id == IDC_MEDIA_CHOOSE) {
                std::wstring chosen;
                if (chooseFile(false, chosen)) {
                    window.mediaPath = chosen;
                    updatePreview();
                }
            } else if (id == IDC_DISCORD_TEST) {
                startTest();
            } else if (id == IDC_SAVE) {
                save();
            } else if (id == IDCANCEL && mayClose()) {
                EndDialog(dialog, 0);
            }
            return TRUE;
        }
        case MESSAGE_DISCORD_TESTED:
            setText(IDC_DISCORD_TEST_RESULT,
                    describeCheck(static_cast<PresenceCheck>(wParam), testedUserName));
            EnableWindow(control(IDC_DISCORD_TEST), !isUnreadable());
            return TRUE;
        case WM_CLOSE:
            if (mayClose()) EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count >= 2 && lstrcmpW(arguments[1], SAVE_ONLY) == 0) {
        return count == 5 ? saveOnly(arguments[2], arguments[3], arguments[4])
                          : ERROR_INVALID_PARAMETER;
    }
    if (count >= 2) window.mediaPath = arguments[1];
    LocalFree(arguments);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, dialogProcedure, 0);
    return 0;
}
