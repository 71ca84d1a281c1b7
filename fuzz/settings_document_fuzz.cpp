// Any bytes as a settings file in the settings program, under the ANSI code
// pages 1252, 932 and 65001 and the stand-in's Latin-1: a file it reads
// comes back byte for byte when saved unchanged; after an edit drawn from
// the input's last bytes (the file keeps every byte), a save either is
// refused with nothing to write, or writes bytes that the plug-in's own
// reader reads as exactly the values shown, with every line the edit did
// not touch kept byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/standin.h"
#include "programs/settings-window/settings_document.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The edit is read from at most this many of the input's last bytes.
constexpr std::size_t EDIT_BYTES = 16;
const unsigned CODE_PAGES[] = {0, 1252, 932, 65001};  // 0: the stand-in's Latin-1

// Which values change (two bytes of flags), under which code page, to what
// text: widened from Latin-1, with a character no single-byte code page has,
// a letter whose Latin-1 byte begins UTF-8, and a CJK one for bytes 0x01 to
// 0x03.
struct Edit {
    unsigned which;
    unsigned codePage;
    std::u16string text;
};

Edit takeEdit(const std::uint8_t* data, std::size_t size) {
    const std::size_t taken = size < EDIT_BYTES ? size : EDIT_BYTES;
    const std::uint8_t* at = data + size - taken;
    Edit edit{0, 0, u""};
    if (taken >= 2) edit.which = at[0] | at[1] << 8;
    if (taken >= 3) edit.codePage = CODE_PAGES[at[2] & 3];
    const char16_t beyond[] = {u'\u266A', u'\u00C3', u'\u65E5'};
    for (std::size_t index = 3; index < taken; ++index) {
        const std::uint8_t byte = at[index];
        edit.text += byte >= 1 && byte <= 3 ? beyond[byte - 1] : static_cast<char16_t>(byte);
    }
    return edit;
}

void apply(const Edit& edit, SettingsValues& values) {
    const unsigned which = edit.which;
    if (which & 1) values.templateText[0] = edit.text;
    if (which & 2) values.templateText[1] = edit.text;
    if (which & 4) values.category[which >> 15 & 1] = 1 + (which >> 13 & 3);
    if (which & 8) values.nowPlayingPath = edit.text;
    if (which & 16) values.nowPlayingText = (which & 0x1000) != 0 ? u"" : edit.text;
    if (which & 32) values.withdrawnText = edit.text;
    if (which & 64) values.encoding = static_cast<NowPlayingEncoding>(which >> 13 & 3);
    if (which & 128) values.discordApplicationId = edit.text;
    if (which & 256) values.discordTemplate[which >> 13 & 1] = edit.text;
    if (which & 512) values.discordImage = edit.text;
    if (which & 1024) values.discordShows = static_cast<PresenceShows>((which >> 13 & 3) % 3);
    if (which & 2048) values.discordTime = static_cast<PresenceTime>((which >> 14 & 3) % 3);
}

// The lines of the file an edit of `document` may change: the profile lines
// of an edited profile, the line whose value an edited name takes, and for
// an emptied text every line of its name.
bool mayChange(const SettingsDocument& document, std::size_t index) {
    const SettingsValues& before = document.loaded;
    const SettingsValues& after = document.values;
    for (int profile = 0; profile < SETTINGS_LINES_READ; ++profile) {
        const bool edited = before.category[profile] != after.category[profile] ||
                            before.templateText[profile] != after.templateText[profile];
        if (edited && index < SETTINGS_LINES_READ) return true;
    }
    const std::u16string& text = document.lines[index].text;
    std::size_t value = 0;
    const SettingsOptionName name = settingsOptionNameOf(text.data(), text.size(), value);
    bool edited = false;
    switch (name) {
        case OPTION_FILE: edited = before.nowPlayingPath != after.nowPlayingPath; break;
        case OPTION_TEXT: edited = before.nowPlayingText != after.nowPlayingText; break;
        case OPTION_WITHDRAWN: edited = before.withdrawnText != after.withdrawnText; break;
        case OPTION_ENCODING: edited = before.encoding != after.encoding; break;
        case OPTION_DISCORD_ID:
            edited = before.discordApplicationId != after.discordApplicationId;
            break;
        case OPTION_DISCORD_DETAILS:
        case OPTION_DISCORD_STATE:
        case OPTION_DISCORD_IMAGE_TEXT: {
            const int field = name - OPTION_DISCORD_DETAILS;
            edited = before.discordTemplate[field] != after.discordTemplate[field];
            break;
        }
        case OPTION_DISCORD_SHOWS: edited = before.discordShows != after.discordShows; break;
        case OPTION_DISCORD_TIME: edited = before.discordTime != after.discordTime; break;
        case OPTION_DISCORD_IMAGE: edited = before.discordImage != after.discordImage; break;
        default: break;
    }
    if (!edited) return false;
    if (name == OPTION_TEXT && after.nowPlayingText.empty()) return true;
    return index + 1 == document.optionLines[name];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Edit edit = takeEdit(data, size);
    static unsigned codePage = 0;
    if (edit.codePage != codePage) {
        standin::reset();
        if (edit.codePage != 0) require(standin::setAnsiCodePage(edit.codePage));
        codePage = edit.codePage;
    }
    const char* bytes = reinterpret_cast<const char*>(data);

    SettingsDocument document;
    loadSettingsDocument(bytes, size, document);
    std::string written;
    SettingsSaveResult result = renderSettingsDocument(document, written);
    if (document.load != SettingsLoad::Read) {
        require(result.problem == SettingsSaveProblem::Unreadable && written.empty());
        return 0;
    }
    require(result.problem == SettingsSaveProblem::None);
    require(written == std::string(bytes, size));

    apply(edit, document.values);
    result = renderSettingsDocument(document, written);
    if (result.problem != SettingsSaveProblem::None) {
        require(written.empty());
        return 0;
    }
    // Read back by the plug-in's own reader, which the document's values come from.
    SettingsDocument readBack;
    loadSettingsDocument(written.data(), written.size(), readBack);
    require(readBack.load == SettingsLoad::Read);
    require(readBack.values == document.values);
    // Every line the edit did not touch, in its own bytes and order, where
    // the file kept its encoding.
    if (result.encoding == document.fileEncoding) {
        std::size_t next = 0;
        for (std::size_t index = 0; index < document.lines.size(); ++index) {
            if (mayChange(document, index)) continue;
            while (next < readBack.lines.size() &&
                   readBack.lines[next].bytes != document.lines[index].bytes) {
                ++next;
            }
            require(next < readBack.lines.size());
            ++next;
        }
    }
    return 0;
}
