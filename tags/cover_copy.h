#pragma once
// A cover picture's bytes, copied out of its media file piece by piece as
// the tag reading located it (CoverLocation): never the whole picture in
// memory, at most COVER_COPY_CHUNK bytes at a time. For the worker, never
// the host's thread: a picture may be megabytes.
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tags/media_tags.h"

// The most bytes read, and handed on, at a time.
constexpr std::size_t COVER_COPY_CHUNK = 16 * 1024;
// The most Ogg pages walked for one picture (a page of 255 bytes each
// carries COVER_SIZE_LIMIT's base64).
constexpr unsigned COVER_OGG_PAGES_MAXIMUM = 96 * 1024;
// The bytes that tell an image's format by its content: WebP's "RIFF",
// size, "WEBP", the longest.
constexpr std::size_t IMAGE_SIGNATURE_LENGTH = 12;

// The format the `count` bytes at `bytes`, an image's first, say it has:
// JPEG, PNG, GIF, BMP or WebP by their signatures; Unknown for anything else.
ImageFormat imageFormatOfSignature(const unsigned char* bytes, std::size_t count);

// What a picture is read from: an open file of `size` bytes, or, where
// `file` is PLATFORM_NO_FILE, the `size` bytes at `bytes`.
struct CoverSource {
    PlatformFile file;
    const unsigned char* bytes;
    std::uint64_t size;
};

// Takes each piece of a picture in order (`count` bytes at `bytes`, at
// most COVER_COPY_CHUNK); returns false to stop the copy.
using CoverSink = bool (*)(const unsigned char* bytes, std::size_t count, void* context);

// Hands the picture that `cover` locates in `source` to `sink`, decoded
// (unsynchronisation undone, base64 across Ogg pages decoded). Returns
// true when exactly `cover.size` bytes went, the first of them an image's
// signature; false, having stopped, when the file is no longer as it was
// read (its size differs, a page is missing, a character is not base64),
// a read fails, the bytes are no image, or the sink refused. Every loop is
// bounded by the location's sizes. Not reentrant: its buffers are static.
bool copyCover(const CoverSource& source, const CoverLocation& cover, CoverSink sink,
               void* context);

// The location of a whole file of `size` bytes taken as a picture as it is.
CoverLocation wholeFileCover(std::uint64_t size);
