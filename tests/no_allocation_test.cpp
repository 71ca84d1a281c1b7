// The plug-in runs on the host player's only user-interface thread: after
// pluginInit, no command may touch the heap. This binary replaces the C
// allocation functions (which the global operator new uses too) with
// counting ones, so any allocation on that path shows, from our code or from
// the C library on its behalf.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "platform/standin.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void noteAllocation() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1);
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    noteAllocation();
    return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    *result = memalign(alignment, size);
    return *result != nullptr ? 0 : ENOMEM;
}
void free(void* pointer) { __libc_free(pointer); }
}

void* operator new(std::size_t size) {
    if (void* pointer = malloc(size)) return pointer;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* pointer) noexcept { free(pointer); }
void operator delete[](void* pointer) noexcept { free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { free(pointer); }

namespace {

long countAllocationsDuring(void (*work)()) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations.load();
}

TEST(NoAllocation, TheCounterSeesAllocations) {
    const long counted = countAllocationsDuring([] {
        void* volatile block = std::malloc(16);
        std::free(block);
        delete new int(3);
    });
    EXPECT_EQ(counted, 2);
}

PluginDescriptor descriptor;

// Tagged files of every container, read where the settings say [TAGS].
const char* const MEDIA_FILES[] = {"v23-utf16.mp3", "v23-picture-first.mp3",
                                   "v1.mp3",        "info.wav",
                                   "id3.wav",       "large-moov-at-end.mp4",
                                   "video.mov",     "tags-at-end.mkv",
                                   "song.flac",     "picture-first.ogg",
                                   "song.opus",     "video.wmv",
                                   "video.avi",     "untagged.mp3",
                                   "ape.mp3",       "song.wv",
                                   "id3.aiff",      "song.dsf",
                                   "song.xm",       "extended.wma",
                                   "keys.mov",      "id3-title.flac"};
std::vector<std::string> mediaPaths;

void driveEveryCommand() {
    static const char* const paths[] = {
        "C:\\Media\\My_Band_-_Best.Song.mp3",
        "D:\\clips\\holiday.mpeg",
        "movie.ts",
        "",
        "C:\\x\\no_extension",
        "C:\\caf\xE9\\d\x92t.WAV",
    };
    static char longPath[2000];
    std::memset(longPath, 'n', sizeof longPath - 5);
    std::memcpy(longPath + sizeof longPath - 5, ".mp3", 5);
    for (int round = 0; round < 500; ++round) {
        for (const char* path : paths) {
            descriptor.callback(40002, reinterpret_cast<std::intptr_t>(path), 0);
            descriptor.callback(40006, 0, 0);
        }
        descriptor.callback(40002, reinterpret_cast<std::intptr_t>(longPath), 0);
        descriptor.callback(40006, 0, 0);
        for (const std::string& path : mediaPaths) {
            descriptor.callback(40002, reinterpret_cast<std::intptr_t>(path.c_str()), 0);
            descriptor.callback(40006, 0, 0);
        }
        descriptor.callback(40007, 0, 0);
        descriptor.callback(40004, 0, 0);
        for (std::int32_t other : {0, 40003, 40005, 40008, -1}) descriptor.callback(other, 0, 0);
    }
}

// With the title from the file's name, and from the file's tags: then every
// announcement opens, reads and closes a media file.
TEST(NoAllocation, CommandsAfterPluginInitNeverAllocate) {
    for (const char* marker : {"[FILENAME]", "[TAGS]"}) {
        char folder[] = "/tmp/velkar-noalloc-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        // The stand-in reads each backslash as a folder's end.
        const std::string appPath = std::string(folder) + "/Player\\player.exe";
        const std::string settingsFile = std::string(folder) + "/Player/plugins/velkar.ini";
        ASSERT_EQ(mkdir((std::string(folder) + "/Player").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((std::string(folder) + "/Player/plugins").c_str(), 0755), 0);
        std::FILE* file = std::fopen(settingsFile.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "3,playing %s\r\n4,hearing %s\r\n", marker, marker);
        // With [TAGS], a now-playing file too, whose text reads the tags.
        if (std::string(marker) == "[TAGS]") {
            std::fprintf(file, "nowplaying-file=%s/np.txt\r\n", folder);
            std::fprintf(file, "nowplaying-text=[TITLE]{ by [ARTIST]}{ ([ALBUM])}\r\n");
        }
        std::fclose(file);
        mediaPaths.clear();
        for (const char* name : MEDIA_FILES) {
            mediaPaths.push_back(std::string(VELKAR_MEDIA_DIR) + "/" + name);
        }

        standin::reset();
        const std::u16string wideAppPath(appPath.begin(), appPath.end());  // ASCII
        standin::setRegistryString(u"SOFTWARE\\BST\\bsplayerv1", u"AppPath", wideAppPath.c_str());
        standin::openWindow("MsnMsgrUIManager");
        standin::openWindow("MsnMsgrUIManager");
        std::memset(&moduleState, 0, sizeof moduleState);
        ASSERT_EQ(pluginInit(&descriptor), 1);
        ASSERT_EQ(std::u16string(moduleState.settings.profiles.audioProfile.prefix), u"hearing ");

        EXPECT_EQ(countAllocationsDuring(driveEveryCommand), 0) << marker;
        EXPECT_GT(standin::receivedCount(), 0u);
        EXPECT_GT(standin::shownMessageBoxCount(), 0u);
        // The tags were really read.
        descriptor.callback(40002, reinterpret_cast<std::intptr_t>(mediaPaths[0].c_str()), 0);
        EXPECT_EQ(std::u16string(moduleState.composed.statusText).find(u"Bj\u00F6rk - J\u00F3ga") !=
                      std::u16string::npos,
                  std::string(marker) == "[TAGS]");

        std::remove(settingsFile.c_str());
        std::remove((std::string(folder) + "/np.txt").c_str());
        rmdir((std::string(folder) + "/Player/plugins").c_str());
        rmdir((std::string(folder) + "/Player").c_str());
        rmdir(folder);
    }
}

}  // namespace
