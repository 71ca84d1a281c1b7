// MPEG audio (MP3, and layers I and II): how long it plays, from the first
// frame's Xing, Info or VBRI header, which counts the frames, or else from
// the bit rate of the first frames over the audio's size. Where those
// frames' bit rates differ (variable bit rate without a header), the frames
// of sixteen windows spread evenly over the audio's bytes give it, each
// window for its share: the first frames of a track, a quiet start, say
// little of the rest.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t FRAME_HEADER_SIZE = 4;
// Where the first frame is looked for, and the frames averaged: what one
// read of the file's start gives.
constexpr std::size_t SCAN_SIZE = MEDIA_WINDOW_SIZE;
constexpr std::size_t VBRI_OFFSET = FRAME_HEADER_SIZE + 32;
constexpr std::size_t VBRI_FRAMES_OFFSET = 14;
constexpr std::uint32_t XING_HAS_FRAMES = 0x1;
// Windows read over the audio, the first included, for a variable bit rate
// without a frame count: frames from all over it, not one passage.
constexpr unsigned SPREAD_WINDOWS = 16;
// Past this, audio bytes times samples could overflow 64 bits.
constexpr std::uint64_t LARGEST_AUDIO = std::uint64_t{1} << 40;

enum MpegVersion { MPEG_25, MPEG_RESERVED, MPEG_2, MPEG_1 };

// Kilobits a second by bit rate index (1 to 14), for MPEG-1 layers I, II,
// III, then MPEG-2 and 2.5 layer I, and layers II and III.
constexpr std::uint16_t BIT_RATES[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr std::uint32_t SAMPLE_RATES[4][3] = {
    {11025, 12000, 8000},  // MPEG 2.5
    {0, 0, 0},
    {22050, 24000, 16000},  // MPEG 2
    {44100, 48000, 32000},  // MPEG 1
};

struct MpegFrame {
    std::uint32_t bytes;
    std::uint32_t samples;
    std::uint32_t sampleRate;
    std::size_t sideInformation;  // layer III's, after the header: where a Xing header begins
    unsigned char shape[3];       // what every frame of the stream shares: version, layer, rate
    unsigned char bitRateIndex;
};

// Reads the frame header at `h`. Returns false when it is none: no sync,
// a reserved version or layer, a free or bad bit rate, a bad sample rate.
bool readFrameHeader(const unsigned char* h, MpegFrame& frame) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const unsigned version = (h[1] >> 3) & 3;
    const unsigned layer = 4 - ((h[1] >> 1) & 3);  // 4: reserved
    const unsigned bitRateIndex = h[2] >> 4;
    const unsigned rateIndex = (h[2] >> 2) & 3;
    if (version == MPEG_RESERVED || layer == 4 || bitRateIndex == 0 || bitRateIndex == 15 ||
        rateIndex == 3) {
        return false;
    }
    const unsigned table = version == MPEG_1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const std::uint32_t bitRate = BIT_RATES[table][bitRateIndex] * 1000u;
    frame.sampleRate = SAMPLE_RATES[version][rateIndex];
    const std::uint32_t padding = (h[2] >> 1) & 1;
    const bool mono = (h[3] >> 6) == 3;
    if (layer == 1) {
        frame.samples = 384;
        frame.bytes = (12 * bitRate / frame.sampleRate + padding) * 4;
    } else {
        frame.samples = layer == 3 && version != MPEG_1 ? 576 : 1152;
        frame.bytes = frame.samples / 8 * bitRate / frame.sampleRate + padding;
    }
    frame.sideInformation = version == MPEG_1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    frame.shape[0] = static_cast<unsigned char>(version);
    frame.shape[1] = static_cast<unsigned char>(layer);
    frame.shape[2] = static_cast<unsigned char>(rateIndex);
    frame.bitRateIndex = static_cast<unsigned char>(bitRateIndex);
    return frame.bytes > FRAME_HEADER_SIZE;
}

bool sameStream(const MpegFrame& a, const MpegFrame& b) {
    return std::memcmp(a.shape, b.shape, sizeof a.shape) == 0;
}

// What a Xing, Info or VBRI header in the frame at `frame` (`length` bytes
// of it at hand) says: whether there is one, and its frame count if it has one.
struct FrameCount {
    bool header;
    bool counted;
    std::uint64_t frames;
};
FrameCount headerFrameCount(const unsigned char* frame, std::size_t length,
                            const MpegFrame& header) {
    const std::size_t xing = FRAME_HEADER_SIZE + header.sideInformation;
    if (xing + 12 <= length &&
        (std::memcmp(frame + xing, "Xing", 4) == 0 || std::memcmp(frame + xing, "Info", 4) == 0)) {
        const bool counted = (bigEndian32(frame + xing + 4) & XING_HAS_FRAMES) != 0;
        return FrameCount{true, counted, counted ? bigEndian32(frame + xing + 8) : 0};
    }
    if (VBRI_OFFSET + VBRI_FRAMES_OFFSET + 4 <= length &&
        std::memcmp(frame + VBRI_OFFSET, "VBRI", 4) == 0) {
        return FrameCount{true, true, bigEndian32(frame + VBRI_OFFSET + VBRI_FRAMES_OFFSET)};
    }
    return FrameCount{false, false, 0};
}

// Where the first frame of `bytes` (`length` of them) begins: a header whose
// next frame begins where it says, within what was read (a lone header is
// as likely a pair of bytes in other data); padding or junk may come before
// it. `length` when there is none.
std::size_t findFrame(const unsigned char* bytes, std::size_t length, MpegFrame& frame) {
    for (std::size_t at = 0; at + FRAME_HEADER_SIZE <= length; ++at) {
        MpegFrame next{};
        if (!readFrameHeader(bytes + at, frame)) continue;
        const std::size_t after = at + frame.bytes;
        if (after + FRAME_HEADER_SIZE <= length && readFrameHeader(bytes + after, next) &&
            sameStream(frame, next)) {
            return at;
        }
    }
    return length;
}

// The frames of `first`'s stream that lie whole in `bytes` from `at`, the
// first 64 at most: their bytes and samples, and whether they share one
// bit rate.
struct FrameRun {
    std::uint64_t bytes;
    std::uint64_t samples;
    bool oneBitRate;
};
FrameRun walkFrames(const unsigned char* bytes, std::size_t length, std::size_t at,
                    const MpegFrame& first) {
    FrameRun run{0, 0, true};
    // The frames of one stream differ only in bit rate and padding: each
    // size is worked out once (a division), then looked up.
    std::uint32_t sizes[32] = {};
    // The header's second byte for the stream: sync, version and layer.
    const unsigned streamByte = 0xE0u | first.shape[0] << 3 | (4u - first.shape[1]) << 1;
    // Enough frames for a rate: low bit rates put hundreds in a window.
    constexpr unsigned framesWanted = 64;
    for (unsigned frames = 0; frames < framesWanted && at + FRAME_HEADER_SIZE <= length; ++frames) {
        const unsigned char* h = bytes + at;
        const unsigned key = (h[2] >> 4) << 1 | ((h[2] >> 1) & 1);
        std::uint32_t& size = sizes[key];
        if (size == 0) {
            MpegFrame frame{};
            if (!readFrameHeader(h, frame) || !sameStream(first, frame)) break;
            size = frame.bytes;
        } else if (h[0] != 0xFF || (h[1] & 0xFEu) != streamByte ||
                   ((h[2] >> 2) & 3u) != first.shape[2]) {
            break;
        }
        if (at + size > length) break;
        run.bytes += size;
        run.samples += first.samples;
        run.oneBitRate &= (h[2] >> 4) == first.bitRateIndex;
        at += size;
    }
    return run;
}

}  // namespace

std::uint64_t endTagsSize(MediaReader& reader) {
    constexpr std::size_t id3v1Size = 128;
    constexpr std::size_t apeFooterSize = 32;
    constexpr std::uint32_t apeHasHeader = 0x80000000;
    std::uint64_t size = 0;
    unsigned char bytes[apeFooterSize];
    if (reader.size >= id3v1Size && readMediaBytes(reader, reader.size - id3v1Size, bytes, 3) &&
        std::memcmp(bytes, "TAG", 3) == 0) {
        size = id3v1Size;
    }
    if (reader.size - size >= apeFooterSize &&
        readMediaBytes(reader, reader.size - size - apeFooterSize, bytes, sizeof bytes) &&
        std::memcmp(bytes, "APETAGEX", 8) == 0) {
        const std::uint64_t tag = static_cast<std::uint64_t>(littleEndian32(bytes + 12)) +
                                  ((littleEndian32(bytes + 20) & apeHasHeader) != 0 ? 32 : 0);
        size += tag;
    }
    return size < reader.size ? size : reader.size;
}

void readMpegAudioFacts(MediaReader& reader, std::uint64_t audioStart, TagFields& fields) {
    fields.facts.pictures = PictureTrack::None;
    if (audioStart >= reader.size) return;
    unsigned char scan[SCAN_SIZE];
    const std::uint64_t left = reader.size - audioStart;
    std::size_t length = static_cast<std::size_t>(left < sizeof scan ? left : sizeof scan);
    // Frames from what the tags' reading brought in, where it holds enough of
    // them: a second read for the rest would cost more than they tell.
    const std::uint64_t start = reader.base + audioStart;
    constexpr std::size_t enoughFrames = SCAN_SIZE / 4;
    if (start >= reader.windowStart && start - reader.windowStart < reader.windowLength) {
        const std::size_t inWindow =
            reader.windowLength - static_cast<std::size_t>(start - reader.windowStart);
        if (inWindow >= enoughFrames && inWindow < length) length = inWindow;
    }
    if (!readMediaBytes(reader, audioStart, scan, length)) return;
    MpegFrame first{};
    const std::size_t at = findFrame(scan, length, first);
    if (at == length) return;
    const std::uint64_t tags = endTagsSize(reader);
    const std::uint64_t audioEnd = reader.size - tags;
    if (audioEnd <= audioStart + at) return;
    const std::uint64_t audioBytes = audioEnd - audioStart - at;
    const FrameCount count = headerFrameCount(scan + at, length - at, first);
    if (count.counted) {
        // A count that lies (0 among them) gives nothing: the bit rate is no second opinion.
        setDuration(fields, count.frames * first.samples, first.sampleRate, audioBytes,
                    LOSSY_MINIMUM_BYTE_RATE);
        return;
    }
    if (audioBytes > LARGEST_AUDIO) return;
    // The bit rate of the frames at hand, a Xing or Info frame without a
    // count left out: exact for constant bit rate, an estimate otherwise.
    FrameRun run = walkFrames(scan, length, count.header ? at + first.bytes : at, first);
    if (run.bytes == 0) {
        // A frame longer than what was read: its own rate.
        if (count.header) return;
        run = FrameRun{first.bytes, first.samples, true};
    }
    if (!run.oneBitRate && audioBytes / SPREAD_WINDOWS > length) {
        // Each window stands for an equal share of the audio's bytes: the
        // mean of their samples per byte is the whole's.
        double samplesPerByte = static_cast<double>(run.samples) / static_cast<double>(run.bytes);
        unsigned windows = 1;
        // What one read there brings: a seek's window begins a quarter before its target.
        constexpr std::size_t spreadScan = SCAN_SIZE * 3 / 4;
        for (unsigned part = 1; part < SPREAD_WINDOWS; ++part) {
            const std::uint64_t there = audioStart + at + audioBytes / SPREAD_WINDOWS * part;
            const std::size_t piece = static_cast<std::size_t>(
                audioEnd - there < spreadScan ? audioEnd - there : spreadScan);
            MpegFrame frame{};
            if (!readMediaBytes(reader, there, scan, piece)) break;
            const std::size_t found = findFrame(scan, piece, frame);
            if (found == piece || !sameStream(first, frame)) continue;
            const FrameRun partRun = walkFrames(scan, piece, found, frame);
            if (partRun.bytes == 0) continue;
            samplesPerByte +=
                static_cast<double>(partRun.samples) / static_cast<double>(partRun.bytes);
            ++windows;
        }
        setDurationSeconds(
            fields, static_cast<double>(audioBytes) * samplesPerByte / windows / first.sampleRate,
            audioBytes, LOSSY_MINIMUM_BYTE_RATE);
        return;
    }
    setDuration(fields, audioBytes * run.samples, run.bytes * first.sampleRate, audioBytes,
                LOSSY_MINIMUM_BYTE_RATE);
}
