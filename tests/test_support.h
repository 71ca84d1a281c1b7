#pragma once
// Shared helpers: a freshly loaded module over a fresh stand-in, and readers
// for what the stand-in's messenger windows received.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/plugin.h"
#include "platform/standin.h"

// The text of a received record, as the UTF-16 units before the terminator.
inline std::u16string receivedText(const standin::ReceivedRecord& record) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < record.byteCount; i += 2) {
        text.push_back(static_cast<char16_t>(record.bytes[i] | (record.bytes[i + 1] << 8)));
    }
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

// The record bytes a messenger should receive for `text` widened as Latin-1.
inline std::u16string latin1(const std::string& text) {
    std::u16string wide;
    for (unsigned char c : text) wide.push_back(c);
    return wide;
}

// UTF-8 text as UTF-16, by iconv: the expectations do not lean on the
// plug-in's own conversions.
inline std::u16string u16(const std::string& utf8) {
    static const iconv_t conversion = iconv_open("UTF-16LE", "UTF-8");
    std::string in = utf8;
    std::u16string out(utf8.size() + 1, u'\0');
    char* inNext = in.data();
    std::size_t inLeft = in.size();
    char* outNext = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(char16_t);
    iconv(conversion, &inNext, &inLeft, &outNext, &outLeft);
    iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    out.resize(out.size() - outLeft / sizeof(char16_t));
    return out;
}

// UTF-16 as UTF-8, for messages.
inline std::string utf8(const std::u16string& text) {
    static const iconv_t conversion = iconv_open("UTF-8", "UTF-16LE");
    std::u16string in = text;
    std::string out(4 * text.size() + 1, '\0');
    char* inNext = reinterpret_cast<char*>(in.data());
    std::size_t inLeft = in.size() * sizeof(char16_t);
    char* outNext = out.data();
    std::size_t outLeft = out.size();
    iconv(conversion, &inNext, &inLeft, &outNext, &outLeft);
    iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    out.resize(out.size() - outLeft);
    return out;
}

// The host's path (ANSI, as the stand-in's code page reads it) composed with
// `profiles`, as an announcement composes it.
inline MediaKind composeHostPath(const std::string& hostPath, const StatusProfiles& profiles,
                                 ComposedStatus& composed,
                                 const NowPlayingSettings* nowPlaying = nullptr) {
    static AnnouncedPath path;
    takeAnnouncedPath(hostPath.c_str(), path);
    return composeStatus(path, profiles, composed, nowPlaying);
}

class FreshModule : public ::testing::Test {
protected:
    void SetUp() override {
        standin::reset();
        std::memset(&moduleState, 0, sizeof moduleState);
        std::memset(&descriptor, 0, sizeof descriptor);
        descriptor.hostWindow = &hostWindowStorage;
    }

    std::int32_t command(std::int32_t number, std::intptr_t param = 0) {
        return descriptor.callback(number, param, 0);
    }
    // The host's own numbers, not our constants, so a wrong constant shows.
    std::int32_t setFile(const char* path) {
        return command(40002, reinterpret_cast<std::intptr_t>(path));
    }
    std::int32_t publish() { return command(40006); }
    std::int32_t withdraw() { return command(40007); }

    PluginDescriptor descriptor;
    int hostWindowStorage = 0;
};
