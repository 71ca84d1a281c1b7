#pragma once
// How long an Ogg file plays, from its streams' first and last pages.
// Internal to tags/.
#include <cstddef>
#include <cstdint>

#include "tags/tag_reader.h"

constexpr std::size_t OGG_PAGE_HEADER_SIZE = 27;
constexpr std::size_t OGG_GRANULE_OFFSET = 6;
constexpr std::size_t OGG_SERIAL_OFFSET = 14;
// Of a stream's identification header, what is kept to time it: Theora's
// whole header, the longest.
constexpr std::size_t OGG_IDENTIFICATION_READ = 42;
// Streams timed, at most.
constexpr std::size_t OGG_TIMED_STREAMS_MAXIMUM = 4;

// How a stream's granule position counts.
enum class OggTiming { Vorbis, Opus, Theora, Speex, Flac };

// A stream to time: how, its serial number, where its first page lies, its
// identification header (zeros past what the file had), and the granule
// position of its last page once found.
struct OggTimedStream {
    OggTiming timing;
    std::uint32_t serial;
    std::uint64_t firstPage;
    unsigned char identification[OGG_IDENTIFICATION_READ];
    bool found;
    std::uint64_t granule;
};

// The bytes of an identification header needed to time a stream of `timing`.
std::size_t oggTimingHeaderLength(OggTiming timing);

// FLAC STREAMINFO's sample rate (20 bits) from its first 18 bytes.
std::uint32_t flacStreamInfoRate(const unsigned char* info);

// Sets the duration in `fields` to the longest of the `count` streams, each
// from its last page's granule position less its first sample's, unless it
// is known already; none where no stream's end can be found or a position
// lies. Reads within the reader's budget: a few windows at the end, small
// reads of page headers.
void readOggLength(MediaReader& reader, OggTimedStream* streams, std::size_t count,
                   TagFields& fields);
