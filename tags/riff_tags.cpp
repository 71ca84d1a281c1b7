// RIFF files, WAV and AVI: the LIST/INFO chunk (INAM, IART, IPRD) and, in
// WAV, an id3 chunk holding an ID3v2 tag. Chunks are passed by their sizes.
// How long it plays: a WAV of PCM by its data size and the format's byte
// rate (RF64: the size its ds64 chunk gives; a size a stream's writer
// could not know: to the end of the file), any other codec by its `fact`
// chunk's sample count where it has one; an AVI by its main header's frames
// and their time, or without pictures by its audio stream's length; an AVI
// has pictures where a stream header says `vids`.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t CHUNK_HEADER_SIZE = 8;
constexpr std::size_t RIFF_HEADER_SIZE = 12;
constexpr std::uint32_t SIZE_IN_DS64 = 0xFFFFFFFF;
constexpr std::size_t DS64_DATA_SIZE_OFFSET = 8;
constexpr std::size_t FORMAT_SAMPLE_RATE_OFFSET = 4;
constexpr std::size_t FORMAT_BYTE_RATE_OFFSET = 8;
// WAVE_FORMAT_EXTENSIBLE's subformat GUID, its format code first.
constexpr std::size_t FORMAT_SUBFORMAT_OFFSET = 24;
constexpr std::uint32_t FORMAT_PCM = 1;
constexpr std::uint32_t FORMAT_FLOAT = 3;
constexpr std::uint32_t FORMAT_EXTENSIBLE = 0xFFFE;
constexpr std::uint32_t SIZE_UNKNOWN = 0xFFFFFFFF;
constexpr std::size_t STREAM_HEADER_READ = 36;  // up to the stream's length
constexpr std::size_t STREAM_SCALE_OFFSET = 20;
constexpr std::size_t STREAM_RATE_OFFSET = 24;
constexpr std::size_t STREAM_LENGTH_OFFSET = 32;
constexpr std::size_t AVI_MAIN_HEADER_READ = 20;  // up to the frame count
constexpr std::size_t AVI_TOTAL_FRAMES_OFFSET = 16;
constexpr std::uint64_t MICROSECONDS_PER_SECOND = 1000000;

constexpr NamedField INFO_NAMES[] = {
    {"INAM", TAG_TITLE},
    {"IART", TAG_ARTIST},
    {"IPRD", TAG_ALBUM},
};

// Reads the fields of the INFO list whose sub-chunks lie in [offset, end).
// Windows programs wrote them in the ANSI code page, ffmpeg writes UTF-8.
void readInfoList(MediaReader& reader, std::uint64_t offset, std::uint64_t end, TagFields& fields) {
    fields.source = "LIST/INFO";
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL; ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE];
        if (!rangeFits(offset, sizeof header, end) ||
            !readMediaBytes(reader, offset, header, sizeof header)) {
            return;
        }
        const std::uint64_t size = littleEndian32(header + 4);
        const std::uint64_t data = offset + sizeof header;
        const std::uint64_t kept = rangeFits(data, size, end) ? size : end - data;
        for (const NamedField& name : INFO_NAMES) {
            if (std::memcmp(header, name.name, 4) == 0) {
                readTagField(reader, fields, name.kind, data, kept, TagEncoding::Utf8);
            }
        }
        offset = data + kept + (kept & 1);
    }
}

// Calls `visit` with each chunk's four-letter name, its data's offset and
// its size (cut to `end`) in [offset, end).
template <typename Visit>
void forEachChunk(MediaReader& reader, std::uint64_t offset, std::uint64_t end, Visit visit) {
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL; ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE];
        if (!rangeFits(offset, sizeof header, end) ||
            !readMediaBytes(reader, offset, header, sizeof header)) {
            return;
        }
        const std::uint64_t size = littleEndian32(header + 4);
        const std::uint64_t data = offset + sizeof header;
        if (!rangeFits(data, size, end)) return;
        visit(header, data, size);
        offset = data + size + (size & 1);
    }
}

// Whether the LIST chunk at `data` (`size` bytes) is of `type`.
bool listIs(MediaReader& reader, std::uint64_t data, std::uint64_t size, const char* type) {
    unsigned char listType[4];
    return size >= 4 && readMediaBytes(reader, data, listType, 4) &&
           std::memcmp(listType, type, 4) == 0;
}

// An AVI's header list: the main header's frames and frame time (OpenDML's
// count where the file has one: the main header counts its first part
// only), and each stream's type.
void readAviHeader(MediaReader& reader, std::uint64_t offset, std::uint64_t end,
                   TagFields& fields) {
    std::uint64_t frames = 0;
    std::uint64_t frameTime = 0;
    std::uint64_t allFrames = 0;
    // The first audio stream's length in its own units: scale / rate seconds each.
    std::uint64_t audioUnits = 0;
    std::uint64_t audioUnitsPerSecond = 0;
    forEachChunk(reader, offset, end, [&](const unsigned char* name, std::uint64_t data,
                                          std::uint64_t size) {
        unsigned char bytes[AVI_MAIN_HEADER_READ];
        if (std::memcmp(name, "avih", 4) == 0 && size >= sizeof bytes &&
            readMediaBytes(reader, data, bytes, sizeof bytes)) {
            frameTime = littleEndian32(bytes);
            frames = littleEndian32(bytes + AVI_TOTAL_FRAMES_OFFSET);
        } else if (std::memcmp(name, "LIST", 4) == 0 && listIs(reader, data, size, "strl")) {
            forEachChunk(
                reader, data + 4, data + size,
                [&](const unsigned char* part, std::uint64_t at, std::uint64_t length) {
                    unsigned char stream[STREAM_HEADER_READ];
                    if (std::memcmp(part, "strh", 4) != 0 || length < 4 ||
                        !readMediaBytes(reader, at, stream, 4)) {
                        return;
                    }
                    notePictures(fields, std::memcmp(stream, "vids", 4) == 0 ? PictureTrack::Present
                                                                             : PictureTrack::None);
                    if (std::memcmp(stream, "auds", 4) == 0 && audioUnitsPerSecond == 0 &&
                        length >= sizeof stream &&
                        readMediaBytes(reader, at, stream, sizeof stream)) {
                        const std::uint64_t scale = littleEndian32(stream + STREAM_SCALE_OFFSET);
                        audioUnits = littleEndian32(stream + STREAM_LENGTH_OFFSET) * scale;
                        audioUnitsPerSecond = littleEndian32(stream + STREAM_RATE_OFFSET);
                    }
                });
        } else if (std::memcmp(name, "LIST", 4) == 0 && listIs(reader, data, size, "odml")) {
            forEachChunk(reader, data + 4, data + size,
                         [&](const unsigned char* part, std::uint64_t at, std::uint64_t length) {
                             if (std::memcmp(part, "dmlh", 4) == 0 && length >= 4 &&
                                 readMediaBytes(reader, at, bytes, 4)) {
                                 allFrames = littleEndian32(bytes);
                             }
                         });
        }
    });
    if (allFrames != 0) frames = allFrames;
    // Without pictures the frames count nothing: the audio's own length does.
    if (fields.facts.pictures != PictureTrack::Present) {
        setDuration(fields, audioUnits, audioUnitsPerSecond, reader.size, LOSSY_MINIMUM_BYTE_RATE);
    }
    setDuration(fields, frames * frameTime, MICROSECONDS_PER_SECOND, reader.size,
                LOSSLESS_MINIMUM_BYTE_RATE);
}

}  // namespace

bool readRiffTags(MediaReader& reader, const unsigned char* head, std::size_t headLength,
                  TagFields& fields) {
    if (headLength < RIFF_HEADER_SIZE ||
        (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RF64", 4) != 0)) {
        return false;
    }
    const bool wave = std::memcmp(head + 8, "WAVE", 4) == 0;
    if (!wave && std::memcmp(head + 8, "AVI ", 4) != 0) return false;
    fields.container = wave ? "WAV" : "AVI";
    // A size the writer could not know (a stream, or RF64) reaches the end.
    const std::uint32_t riffSize = littleEndian32(head + 4);
    std::uint64_t end = CHUNK_HEADER_SIZE + static_cast<std::uint64_t>(riffSize);
    // A writer to a stream leaves the sizes as it began them: unknown, 0, or
    // a size the file never reached. Such a file holds what its end holds.
    const bool riffToTheEnd = end > reader.size || riffSize == SIZE_UNKNOWN || riffSize == 0;
    if (riffToTheEnd) end = reader.size;
    const bool rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (wave) fields.facts.pictures = PictureTrack::None;
    // The facts are done once a WAV's data, or an AVI's header list, is passed.
    bool factsPending = fields.facts.wanted;
    std::uint64_t byteRate = 0;
    std::uint64_t sampleRate = 0;
    bool pcm = true;
    std::uint64_t factSamples = 0;
    bool hasFact = false;
    std::uint64_t ds64DataSize = 0;
    std::uint64_t offset = RIFF_HEADER_SIZE;
    for (unsigned chunks = 0; chunks < TAG_ITEMS_PER_LEVEL && (!allFieldsPresent(fields) || factsPending);
         ++chunks) {
        unsigned char header[CHUNK_HEADER_SIZE + FORMAT_SUBFORMAT_OFFSET + 2];
        if (!rangeFits(offset, CHUNK_HEADER_SIZE, end) ||
            !readMediaBytes(reader, offset, header, CHUNK_HEADER_SIZE)) {
            break;
        }
        const std::uint64_t size = littleEndian32(header + 4);
        const std::uint64_t data = offset + CHUNK_HEADER_SIZE;
        unsigned char* const body = header + CHUNK_HEADER_SIZE;
        if (wave && std::memcmp(header, "data", 4) == 0) {
            std::uint64_t dataSize = rf64 && size == SIZE_IN_DS64 ? ds64DataSize : size;
            const bool toTheEnd =
                !rf64 && (size == SIZE_UNKNOWN ||
                          (riffToTheEnd && (size == 0 || !rangeFits(data, size, reader.size))));
            if (toTheEnd && data <= reader.size) dataSize = reader.size - data;
            // Otherwise a size that lies past the file gives no duration.
            // A sample count that lies gives none: the byte rate is no truer.
            if (factsPending && !pcm && hasFact) {
                setDuration(fields, factSamples, sampleRate, reader.size, LOSSY_MINIMUM_BYTE_RATE);
            } else if (factsPending && rangeFits(data, dataSize, reader.size)) {
                setDuration(fields, dataSize, byteRate, reader.size, PCM_MINIMUM_BYTE_RATE);
            }
            factsPending = false;
        }
        if (!rangeFits(data, size, end)) break;
        if (std::memcmp(header, "LIST", 4) == 0 && listIs(reader, data, size, "INFO")) {
            readInfoList(reader, data + 4, data + size, fields);
        } else if (!wave && std::memcmp(header, "LIST", 4) == 0 &&
                   listIs(reader, data, size, "hdrl")) {
            if (factsPending) readAviHeader(reader, data + 4, data + size, fields);
            factsPending = false;
        } else if (wave && std::memcmp(header, "fmt ", 4) == 0 &&
                   size >= FORMAT_BYTE_RATE_OFFSET + 4 &&
                   readMediaBytes(reader, data, body, FORMAT_BYTE_RATE_OFFSET + 4)) {
            std::uint32_t format = littleEndian16(body);
            sampleRate = littleEndian32(body + FORMAT_SAMPLE_RATE_OFFSET);
            byteRate = littleEndian32(body + FORMAT_BYTE_RATE_OFFSET);
            if (format == FORMAT_EXTENSIBLE && size >= FORMAT_SUBFORMAT_OFFSET + 2 &&
                readMediaBytes(reader, data, body, FORMAT_SUBFORMAT_OFFSET + 2)) {
                format = littleEndian16(body + FORMAT_SUBFORMAT_OFFSET);
            }
            pcm = format == FORMAT_PCM || format == FORMAT_FLOAT;
        } else if (wave && std::memcmp(header, "fact", 4) == 0 && size >= 4 &&
                   readMediaBytes(reader, data, body, 4)) {
            factSamples = littleEndian32(body);
            // A stream's writer leaves the count at 0: the byte rate tells then.
            hasFact = factSamples != 0;
        } else if (rf64 && std::memcmp(header, "ds64", 4) == 0 &&
                   size >= DS64_DATA_SIZE_OFFSET + 8 &&
                   readMediaBytes(reader, data, body, DS64_DATA_SIZE_OFFSET + 8)) {
            ds64DataSize = littleEndian64(body + DS64_DATA_SIZE_OFFSET);
        } else if (wave &&
                   (std::memcmp(header, "id3 ", 4) == 0 || std::memcmp(header, "ID3 ", 4) == 0)) {
            std::uint64_t tagEnd = 0;
            readId3v2(reader, data, size, fields, tagEnd);
        }
        offset = data + size + (size & 1);
    }
    return true;
}
