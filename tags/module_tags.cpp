// Tracker modules (MOD, S3M, XM, IT): the song name in the header, as the
// title. Each format says what it is at a fixed place; MOD does so 1080
// bytes in, after its 31 sample headers and its pattern order.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

struct ModuleFormat {
    const char* name;
    std::size_t signatureOffset;
    const char* signature;
    std::size_t titleOffset;
    std::size_t titleLength;
};
constexpr ModuleFormat HEADED_FORMATS[] = {
    {"XM", 0, "Extended Module: ", 17, 20},
    {"IT", 0, "IMPM", 4, 26},
    {"S3M", 44, "SCRM", 0, 28},
};
constexpr std::size_t MOD_SIGNATURE_OFFSET = 1080;
constexpr std::size_t MOD_TITLE_LENGTH = 20;
// What ProTracker and its followers write at 1080, the channel count aside.
const char* const MOD_SIGNATURES[] = {"M.K.", "M!K!", "M&K!", "N.T.", "FLT4", "FLT8",
                                      "CD81", "OKTA", "OCTA", "TDZ4", "TDZ8"};

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// "M.K." and its kin, "6CHN" to "9CHN", or "10CH" to "32CH".
bool isModSignature(const unsigned char* tag) {
    for (const char* signature : MOD_SIGNATURES) {
        if (std::memcmp(tag, signature, 4) == 0) return true;
    }
    return (isDigit(tag[0]) && std::memcmp(tag + 1, "CHN", 3) == 0) ||
           (isDigit(tag[0]) && isDigit(tag[1]) && std::memcmp(tag + 2, "CH", 2) == 0);
}

bool readTitle(MediaReader& reader, TagFields& fields, const char* container, std::size_t offset,
               std::size_t length) {
    fields.container = container;
    fields.source = "song name";
    // A module says how long it plays only by playing it: no duration.
    fields.facts.pictures = PictureTrack::None;
    // Trackers wrote the ANSI code page of their day; padding is NUL or space.
    readTagField(reader, fields, TAG_TITLE, offset, length, TagEncoding::Utf8);
    return true;
}

}  // namespace

bool readModuleTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                    TagFields& fields) {
    for (const ModuleFormat& format : HEADED_FORMATS) {
        const std::size_t length = std::strlen(format.signature);
        if (format.signatureOffset + length <= headLength &&
            std::memcmp(head + format.signatureOffset, format.signature, length) == 0) {
            return readTitle(reader, fields, format.name, format.titleOffset, format.titleLength);
        }
    }
    unsigned char signature[4];
    if (readMediaBytes(reader, MOD_SIGNATURE_OFFSET, signature, sizeof signature) &&
        isModSignature(signature)) {
        return readTitle(reader, fields, "MOD", 0, MOD_TITLE_LENGTH);
    }
    return false;
}
