// AAC in ADTS frames (.aac): no header says how long it plays, so the
// length is estimated, as for MPEG audio at a constant bit rate, from the
// frames' sizes and samples over the audio's size. The frames are taken
// from a few windows spread over the file, each run confirmed frame by
// frame, so a quiet start or a passage of a different rate moves the
// estimate little.
#include <cstring>

#include "tags/tag_reader.h"

namespace {

constexpr std::size_t ADTS_HEADER_SIZE = 7;
constexpr std::uint32_t SAMPLES_PER_BLOCK = 1024;
constexpr std::uint32_t SAMPLE_RATES[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                          22050, 16000, 12000, 11025, 8000,  7350};
constexpr std::size_t SAMPLE_RATE_COUNT = sizeof SAMPLE_RATES / sizeof SAMPLE_RATES[0];
// Windows read at most: the start, then evenly spread over the rest.
constexpr unsigned ESTIMATE_WINDOWS = 4;
constexpr unsigned FRAMES_PER_WINDOW = 64;
// Past this, audio bytes times samples could overflow 64 bits.
constexpr std::uint64_t LARGEST_AUDIO = std::uint64_t{1} << 40;

struct AdtsFrame {
    std::uint32_t bytes;
    std::uint32_t samples;
    unsigned rateIndex;
    unsigned version;  // the MPEG-2 or MPEG-4 bit, the same in every frame of a stream
};

// Reads the ADTS header at `h` (ADTS_HEADER_SIZE bytes). Returns false when
// it is none: no sync, layer bits not 0, a reserved rate, a frame shorter
// than its header.
bool readAdtsHeader(const unsigned char* h, AdtsFrame& frame) {
    if (!isAdtsHeader(h, ADTS_HEADER_SIZE)) return false;
    frame.version = (h[1] >> 3) & 1;
    frame.rateIndex = (h[2] >> 2) & 0xF;
    frame.bytes = (static_cast<std::uint32_t>(h[3] & 3) << 11) |
                  (static_cast<std::uint32_t>(h[4]) << 3) | (h[5] >> 5);
    frame.samples = ((h[6] & 3u) + 1) * SAMPLES_PER_BLOCK;
    const bool protectedByCrc = (h[1] & 1) == 0;
    const std::uint32_t headerBytes = protectedByCrc ? ADTS_HEADER_SIZE + 2 : ADTS_HEADER_SIZE;
    return frame.rateIndex < SAMPLE_RATE_COUNT && frame.bytes > headerBytes;
}

bool sameStream(const AdtsFrame& a, const AdtsFrame& b) {
    return a.rateIndex == b.rateIndex && a.version == b.version;
}

// The frames of the stream found in `bytes` (`length` of them) from the
// first header whose next frame follows where it says: their bytes and
// samples, FRAMES_PER_WINDOW frames at most, each confirmed by the next.
struct FrameRun {
    std::uint64_t bytes;
    std::uint64_t samples;
    unsigned rateIndex;
};
FrameRun walkFrames(const unsigned char* bytes, std::size_t length) {
    FrameRun run{0, 0, 0};
    for (std::size_t at = 0; at + ADTS_HEADER_SIZE <= length; ++at) {
        AdtsFrame frame{};
        AdtsFrame next{};
        if (!readAdtsHeader(bytes + at, frame)) continue;
        std::size_t here = at;
        for (unsigned frames = 0; frames < FRAMES_PER_WINDOW; ++frames) {
            const std::size_t after = here + frame.bytes;
            if (after + ADTS_HEADER_SIZE > length || !readAdtsHeader(bytes + after, next) ||
                !sameStream(frame, next)) {
                break;
            }
            run.bytes += frame.bytes;
            run.samples += frame.samples;
            run.rateIndex = frame.rateIndex;
            here = after;
            frame = next;
        }
        if (run.bytes > 0) return run;
    }
    return run;
}

}  // namespace

bool isAdtsHeader(const unsigned char* head, std::size_t length) {
    // Twelve sync bits, then the version bit, and layer bits that are 0:
    // MPEG audio calls that layer reserved, so neither is taken for the other.
    return length >= ADTS_HEADER_SIZE && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0;
}

void readAdtsFacts(MediaReader& reader, TagFields& fields) {
    fields.facts.pictures = PictureTrack::None;
    const std::uint64_t audioEnd = reader.size - endTagsSize(reader);
    if (audioEnd == 0 || audioEnd > LARGEST_AUDIO) return;
    unsigned char window[MEDIA_WINDOW_SIZE];
    std::uint64_t bytes = 0;
    std::uint64_t samples = 0;
    unsigned rateIndex = SAMPLE_RATE_COUNT;
    for (unsigned part = 0; part < ESTIMATE_WINDOWS; ++part) {
        const std::uint64_t start = audioEnd / ESTIMATE_WINDOWS * part;
        if (part > 0 && start < MEDIA_WINDOW_SIZE) break;  // the first window held it all
        const std::uint64_t left = audioEnd - start;
        // What one read there brings: a seek's window begins a quarter before its target.
        const std::uint64_t wanted = part == 0 ? sizeof window : sizeof window * 3 / 4;
        const std::size_t length = static_cast<std::size_t>(left < wanted ? left : wanted);
        if (!readMediaBytes(reader, start, window, length)) break;
        const FrameRun run = walkFrames(window, length);
        if (run.bytes == 0) continue;
        // Frames of another rate are another stream, or no frames at all.
        if (rateIndex != SAMPLE_RATE_COUNT && run.rateIndex != rateIndex) return;
        rateIndex = run.rateIndex;
        bytes += run.bytes;
        samples += run.samples;
    }
    if (bytes == 0) return;
    setDuration(fields, audioEnd * samples, bytes * SAMPLE_RATES[rateIndex], audioEnd,
                LOSSY_MINIMUM_BYTE_RATE);
}
