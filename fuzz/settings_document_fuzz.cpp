// Any bytes as a settings file in the settings program (Latin-1 being the
// ANSI code page): a file it reads comes back byte for byte when saved
// unchanged, and after an edit drawn from the input a save either is refused
// with nothing to write, or writes bytes that read back as exactly the
// values shown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programs/settings-window/settings_document.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The edit: the first byte says which values change, the next bytes (up to a
// NUL) give the new text, widened from Latin-1, with a character no
// single-byte code page has, a letter whose Latin-1 byte begins UTF-8, and
// a CJK one for bytes 0x01 to 0x03.
struct Edit {
    unsigned which;
    std::u16string text;
};

Edit takeEdit(const std::uint8_t*& data, std::size_t& size) {
    Edit edit{0, u""};
    if (size == 0) return edit;
    edit.which = *data++;
    --size;
    const char16_t beyond[] = {u'\u266A', u'\u00C3', u'\u65E5'};
    while (size > 0 && *data != 0) {
        const std::uint8_t byte = *data++;
        --size;
        if (byte >= 1 && byte <= 3) {
            edit.text += beyond[byte - 1];
        } else {
            edit.text += static_cast<char16_t>(byte);
        }
    }
    if (size > 0) {
        ++data;
        --size;
    }
    return edit;
}

void apply(const Edit& edit, SettingsValues& values) {
    if (edit.which & 1) values.templateText[0] = edit.text;
    if (edit.which & 2) values.templateText[1] = edit.text;
    if (edit.which & 4) values.category[edit.which >> 7] = 1 + (edit.which >> 5 & 3);
    if (edit.which & 8) values.nowPlayingPath = edit.text;
    if (edit.which & 16) values.nowPlayingText = (edit.which & 64) != 0 ? u"" : edit.text;
    if (edit.which & 32) values.withdrawnText = edit.text;
    if (edit.which & 64) values.encoding = static_cast<NowPlayingEncoding>(edit.which >> 6 & 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Edit edit = takeEdit(data, size);
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
    SettingsDocument readBack;
    loadSettingsDocument(written.data(), written.size(), readBack);
    require(readBack.load == SettingsLoad::Read);
    require(readBack.values == document.values);
    return 0;
}
