#include "tags/cover_copy.h"

#include <cstring>

#include "tags/ogg_length.h"
#include "tags/tag_reader.h"
#include "text/base64_text.h"

namespace {

struct Signature {
    const char* bytes;
    std::size_t length;
    std::size_t at;  // where it lies in the image's first bytes
    ImageFormat format;
};
const Signature SIGNATURES[] = {
    {"\xFF\xD8\xFF", 3, 0, ImageFormat::Jpeg},
    {"\x89PNG\r\n\x1A\n", 8, 0, ImageFormat::Png},
    {"GIF87a", 6, 0, ImageFormat::Gif},
    {"GIF89a", 6, 0, ImageFormat::Gif},
    {"BM", 2, 0, ImageFormat::Bmp},
    {"RIFF", 4, 0, ImageFormat::WebP},
};
constexpr char WEBP_FORM[] = "WEBP";
constexpr std::size_t WEBP_FORM_AT = 8;

// What a copy has handed on so far, and the piece it is filling.
struct Copy {
    CoverSink sink;
    void* context;
    std::uint32_t wanted;  // the picture's bytes
    std::uint32_t handed;  // of them, handed to the sink or in the piece
    std::size_t pieceLength;
    bool first;
    bool failed;
};

unsigned char piece[COVER_COPY_CHUNK];
unsigned char input[COVER_COPY_CHUNK];

bool handPiece(Copy& copy) {
    if (copy.pieceLength == 0 || copy.failed) return !copy.failed;
    if (copy.first && imageFormatOfSignature(piece, copy.pieceLength) == ImageFormat::Unknown) {
        copy.failed = true;
        return false;
    }
    copy.first = false;
    copy.failed = !copy.sink(piece, copy.pieceLength, copy.context);
    copy.pieceLength = 0;
    return !copy.failed;
}

// Adds up to `count` of the picture's bytes, none past its size.
void put(Copy& copy, const unsigned char* bytes, std::size_t count) {
    while (count > 0 && copy.handed < copy.wanted && !copy.failed) {
        std::size_t part = COVER_COPY_CHUNK - copy.pieceLength;
        if (part > count) part = count;
        if (part > copy.wanted - copy.handed) part = copy.wanted - copy.handed;
        std::memcpy(piece + copy.pieceLength, bytes, part);
        copy.pieceLength += part;
        copy.handed += static_cast<std::uint32_t>(part);
        bytes += part;
        count -= part;
        if (copy.pieceLength == COVER_COPY_CHUNK) handPiece(copy);
    }
}

bool readSource(const CoverSource& source, std::uint64_t offset, unsigned char* out,
                std::size_t count) {
    if (!rangeFits(offset, count, source.size)) return false;
    if (source.file == PLATFORM_NO_FILE) {
        std::memcpy(out, source.bytes + offset, count);
        return true;
    }
    std::size_t done = 0;
    while (done < count) {
        const std::size_t got = readFileAt(source.file, offset + done, out + done, count - done);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

// The picture's bytes as they lie, or with each 0x00 after an 0xFF dropped.
void copyRange(const CoverSource& source, const CoverLocation& cover, Copy& copy) {
    bool afterFF = false;
    for (std::uint64_t at = 0; at < cover.length && copy.handed < copy.wanted && !copy.failed;) {
        std::size_t count = COVER_COPY_CHUNK;
        if (count > cover.length - at) count = static_cast<std::size_t>(cover.length - at);
        if (!readSource(source, cover.offset + at, input, count)) {
            copy.failed = true;
            return;
        }
        at += count;
        if (cover.coding == PictureCoding::Raw) {
            put(copy, input, count);
            continue;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!(afterFF && input[i] == 0x00)) put(copy, input + i, 1);
            afterFF = input[i] == 0xFF;
        }
    }
}

// The base64 characters of the stream's page bodies, decoded.
struct Base64Run {
    std::uint64_t skip;  // body bytes still to pass
    std::uint64_t left;  // characters still to take
    unsigned char group[BASE64_GROUP_CHARACTERS];
    std::size_t grouped;
    unsigned decodedSkip;
    bool padded;  // a group with padding ended the base64
};

void decodeCharacters(Base64Run& run, const unsigned char* characters, std::size_t count,
                      Copy& copy) {
    for (std::size_t i = 0; i < count && copy.handed < copy.wanted && !copy.failed; ++i) {
        run.group[run.grouped++] = characters[i];
        if (run.grouped < BASE64_GROUP_CHARACTERS) continue;
        run.grouped = 0;
        unsigned char bytes[BASE64_GROUP_BYTES];
        const std::size_t decoded = decodeBase64Group(run.group, bytes);
        if (decoded == 0 || run.padded || run.decodedSkip > decoded) {
            copy.failed = true;
            return;
        }
        run.padded = decoded < BASE64_GROUP_BYTES;
        put(copy, bytes + run.decodedSkip, decoded - run.decodedSkip);
        run.decodedSkip = 0;
    }
}

void copyOggBase64(const CoverSource& source, const CoverLocation& cover, Copy& copy) {
    Base64Run run{cover.skip, cover.length, {}, 0, cover.decodedSkip, false};
    std::uint64_t page = cover.offset;
    for (unsigned pages = 0; pages < COVER_OGG_PAGES_MAXIMUM && copy.handed < copy.wanted &&
                             run.left > 0 && !copy.failed;
         ++pages) {
        unsigned char header[OGG_PAGE_HEADER_SIZE + 255];
        if (!readSource(source, page, header, OGG_PAGE_HEADER_SIZE) ||
            std::memcmp(header, "OggS", 4) != 0 || header[4] != 0 ||
            !readSource(source, page + OGG_PAGE_HEADER_SIZE, header + OGG_PAGE_HEADER_SIZE,
                        header[26])) {
            break;
        }
        std::uint64_t body = page + OGG_PAGE_HEADER_SIZE + header[26];
        std::uint64_t bodySize = 0;
        for (std::size_t i = 0; i < header[26]; ++i) bodySize += header[OGG_PAGE_HEADER_SIZE + i];
        page = body + bodySize;
        if (littleEndian32(header + OGG_SERIAL_OFFSET) != cover.serial) continue;
        const std::uint64_t passed = run.skip < bodySize ? run.skip : bodySize;
        run.skip -= passed;
        body += passed;
        bodySize -= passed;
        while (bodySize > 0 && run.left > 0 && copy.handed < copy.wanted && !copy.failed) {
            std::size_t count = COVER_COPY_CHUNK;
            if (count > bodySize) count = static_cast<std::size_t>(bodySize);
            if (count > run.left) count = static_cast<std::size_t>(run.left);
            if (!readSource(source, body, input, count)) {
                copy.failed = true;
                return;
            }
            decodeCharacters(run, input, count, copy);
            body += count;
            bodySize -= count;
            run.left -= count;
        }
    }
}

}  // namespace

ImageFormat imageFormatOfSignature(const unsigned char* bytes, std::size_t count) {
    for (const Signature& signature : SIGNATURES) {
        if (count >= signature.at + signature.length &&
            std::memcmp(bytes + signature.at, signature.bytes, signature.length) == 0) {
            if (signature.format != ImageFormat::WebP) return signature.format;
            if (count >= IMAGE_SIGNATURE_LENGTH &&
                std::memcmp(bytes + WEBP_FORM_AT, WEBP_FORM, sizeof WEBP_FORM - 1) == 0) {
                return ImageFormat::WebP;
            }
        }
    }
    return ImageFormat::Unknown;
}

bool copyCover(const CoverSource& source, const CoverLocation& cover, CoverSink sink,
               void* context) {
    if (cover.coding == PictureCoding::None || source.size != cover.fileSize || cover.size == 0 ||
        cover.size > COVER_SIZE_LIMIT) {
        return false;
    }
    Copy copy{sink, context, cover.size, 0, 0, true, false};
    if (cover.coding == PictureCoding::OggBase64) {
        copyOggBase64(source, cover, copy);
    } else {
        copyRange(source, cover, copy);
    }
    handPiece(copy);
    return !copy.failed && copy.handed == copy.wanted;
}

CoverLocation wholeFileCover(std::uint64_t size) {
    CoverLocation cover{};
    cover.coding = PictureCoding::Raw;
    cover.offset = 0;
    cover.length = size;
    cover.size = size <= COVER_SIZE_LIMIT ? static_cast<std::uint32_t>(size) : 0;
    cover.fileSize = size;
    return cover;
}
