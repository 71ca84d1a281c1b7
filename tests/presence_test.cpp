// Discord's presence as bytes: the texts shaped to its rules, the JSON of
// the commands, the frames, and the replies read.
#include "outputs/presence.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "outputs/presence_activity.h"
#include "outputs/presence_protocol.h"
#include "platform/standin.h"
#include "test_support.h"
#include "text/json_text.h"

namespace {

using namespace std::string_literals;

std::string shaped(const std::u16string& text) {
    PresenceText out;
    shapePresenceText(text.data(), text.size(), out);
    return std::string(out.text, out.length);
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(PresenceText, ShapedAsDiscordTakesIt) {
    const std::string ellipsis = "\xE2\x80\xA6";
    struct Case {
        const char* name;
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {"empty stays empty", u"", ""},
        {"one character is padded", u"X", "X "},
        {"one character beyond the BMP is padded", u"\U0001F3B5", "\xF0\x9F\x8E\xB5 "},
        {"two characters are enough", u"Hi", "Hi"},
        {"controls and separators as spaces",
         u"a\tb\nc\x7F"
         u"d\x85"
         u"e\u2028f\u2029g\0h"s,
         "a b c d e f g h"},
        {"a lone surrogate as U+FFFD",
         u"a\xD800"
         u"b",
         "a\xEF\xBF\xBD"
         "b"},
        {"128 bytes fit whole", std::u16string(128, u'a'), std::string(128, 'a')},
        {"129 bytes are cut to 125 and the mark", std::u16string(129, u'a'),
         std::string(125, 'a') + ellipsis},
        {"300 Japanese characters: 41 whole ones (123 bytes) and the mark",
         std::u16string(300, u'\u65E5'), repeated("\xE6\x97\xA5", 41) + ellipsis},
        {"spaces alone are left out", u" ", ""},
        {"as is what shows as spaces", u"\t \n", ""},
        {"a character is never split by the cut",
         u"ab" + std::u16string(60, u'\u00E9') + std::u16string(10, u'\u65E5'),
         "ab" + repeated("\xC3\xA9", 60) + repeated("\xE6\x97\xA5", 1) + ellipsis},
    };
    for (const Case& c : cases) {
        const std::string out = shaped(c.text);
        EXPECT_EQ(out, c.expected) << c.name;
        EXPECT_LE(out.size(), PRESENCE_TEXT_BYTES) << c.name;
    }
}

TEST(PresenceText, JsonStringsEscaped) {
    struct Case {
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\Music\\a.mp3", "\"C:\\\\Music\\\\a.mp3\""},
        {std::string("\b\f\n\r\t\x01\x1F\x7F", 8), "\"\\b\\f\\n\\r\\t\\u0001\\u001f\x7F\""},
        {std::string("nul\0in", 6), "\"nul\\u0000in\""},
        {"\xE6\x97\xA5\xE2\x80\xA8", "\"\xE6\x97\xA5\xE2\x80\xA8\""},
    };
    for (const Case& c : cases) {
        char out[64];
        JsonWriter json = startJson(out, sizeof out);
        appendJsonString(json, c.text.data(), c.text.size());
        ASSERT_FALSE(json.overflowed) << c.expected;
        EXPECT_EQ(std::string(out, json.length), c.expected);
    }
    // What does not fit is not written at all.
    char small[8];
    JsonWriter json = startJson(small, sizeof small);
    appendJsonString(json, "a\"bcdef", 7);
    EXPECT_TRUE(json.overflowed);
    EXPECT_LE(json.length, sizeof small);
}

PresenceActivity activityOf(const std::u16string& details, const std::u16string& state,
                            const std::u16string& imageText) {
    PresenceActivity activity{};
    shapePresenceText(details.data(), details.size(), activity.texts[PRESENCE_DETAILS]);
    shapePresenceText(state.data(), state.size(), activity.texts[PRESENCE_STATE]);
    shapePresenceText(imageText.data(), imageText.size(), activity.texts[PRESENCE_IMAGE_TEXT]);
    activity.startSeconds = 1700000000;
    activity.showsStart = true;
    return activity;
}

TEST(PresenceCommand, JsonAsSent) {
    PresenceSettings settings;
    setDefaultPresence(settings);
    struct Case {
        const char* name;
        bool clear;
        PresenceActivity activity;
        PresenceShows shows;
        const char* image;
        std::string expected;
    };
    PresenceActivity timed = activityOf(u"Best Song", u"by My Band", u"Album \"1\"");
    timed.endSeconds = 1700000065;
    PresenceActivity video = activityOf(u"Holiday", u"", u"");
    video.watching = true;
    video.showsStart = false;
    const std::string head = "{\"cmd\":\"SET_ACTIVITY\",\"args\":{\"pid\":4242";
    const std::string tail = "},\"nonce\":\"10-2-3\"}";
    const Case cases[] = {
        {"listening, a time bar, the details shown, an image with its text", false, timed,
         PresenceShows::Details, "https://example.org/c.png",
         head +
             ",\"activity\":{\"type\":2,\"status_display_type\":2,\"details\":\"Best Song\","
             "\"state\":\"by My Band\",\"timestamps\":{\"start\":1700000000,\"end\":1700000065},"
             "\"assets\":{\"large_image\":\"https://example.org/c.png\",\"large_text\":"
             "\"Album \\\"1\\\"\"}}" +
             tail},
        {"watching, no time, empty texts left out, no image: no assets", false, video,
         PresenceShows::State, "",
         head + ",\"activity\":{\"type\":3,\"status_display_type\":1,\"details\":\"Holiday\"}" +
             tail},
        {"the application's name shown, the start only", false, activityOf(u"A", u"", u""),
         PresenceShows::Name, "",
         head +
             ",\"activity\":{\"type\":2,\"status_display_type\":0,\"details\":\"A \","
             "\"timestamps\":{\"start\":1700000000}}" +
             tail},
        {"a clear holds the process id alone", true, timed, PresenceShows::Details, "x",
         head + tail},
    };
    for (const Case& c : cases) {
        settings.shows = c.shows;
        PresenceActivity activity = c.activity;
        std::snprintf(activity.image, sizeof activity.image, "%s", c.image);
        char out[PRESENCE_COMMAND_CAPACITY];
        const std::size_t length = writePresenceCommand(c.clear ? nullptr : &activity, settings,
                                                        4242, "10-2-3", out, sizeof out);
        EXPECT_EQ(std::string(out, length), c.expected) << c.name;
    }
    // The largest command fits: three texts of quotes, escaped to twice
    // their size, and the longest image.
    PresenceActivity quotes = activityOf(std::u16string(200, u'"'), std::u16string(200, u'\\'),
                                         std::u16string(200, u'"'));
    quotes.endSeconds = UINT64_MAX;
    std::memset(quotes.image, 'k', PRESENCE_IMAGE_BYTES);
    quotes.image[PRESENCE_IMAGE_BYTES] = '\0';
    char nonce[PRESENCE_NONCE_CAPACITY];
    writePresenceNonce(UINT32_MAX, UINT32_MAX, UINT64_MAX, nonce);
    char out[PRESENCE_COMMAND_CAPACITY];
    EXPECT_GT(writePresenceCommand(&quotes, settings, UINT32_MAX, nonce, out, sizeof out), 1000u);
    // And one that does not fit is not sent in part.
    EXPECT_EQ(writePresenceCommand(&quotes, settings, 1, nonce, out, 100), 0u);

    char handshake[64];
    const std::size_t handshakeLength =
        writePresenceHandshake("1234567890", handshake, sizeof handshake);
    EXPECT_EQ(std::string(handshake, handshakeLength), "{\"v\":1,\"client_id\":\"1234567890\"}");
}

// The time the profile shows, from the setting and the file's duration.
TEST(PresenceCommand, TimeFromTheSettingAndTheDuration) {
    struct Case {
        PresenceTime time;
        bool hasDuration;
        std::uint32_t seconds;
        bool showsStart;
        std::uint64_t end;  // 0: none
    };
    const Case cases[] = {
        {PresenceTime::Bar, true, 65, true, 1065},  {PresenceTime::Bar, false, 0, true, 0},
        {PresenceTime::Bar, true, 0, true, 0},  // under half a second: no bar
        {PresenceTime::Elapsed, true, 65, true, 0}, {PresenceTime::None, true, 65, false, 0},
    };
    PresenceSettings settings;
    setDefaultPresence(settings);
    static ComposedStatus composed{};
    for (const Case& c : cases) {
        settings.time = c.time;
        composed.hasDuration = c.hasDuration;
        composed.durationSeconds = c.seconds;
        PresenceActivity activity;
        composePresenceActivity(composed, settings, 1000, activity);
        EXPECT_EQ(activity.showsStart, c.showsStart) << c.seconds;
        EXPECT_EQ(activity.startSeconds, 1000u);
        EXPECT_EQ(activity.endSeconds, c.end) << static_cast<int>(c.time) << " " << c.seconds;
    }
}

// Which image shows: the line's first alternative that gives one, else the
// release's cover, else the build's picture, else none; an empty line none.
TEST(PresenceImage, FirstThatApplies) {
    const std::string id = "8f3c2a1e-0b5d-4c6e-9a7f-1d2e3f4a5b6c";
    const std::string cover = "https://coverartarchive.org/release/" + id + "/front-500";
    const std::u16string longUrl = u"https://example.org/" + std::u16string(240, u'x');
    struct Case {
        const char* name;
        bool given;
        std::u16string line;
        std::string id;
        bool build, watching;
        std::string expected;
    };
    const Case cases[] = {
        {"no line: the release's cover", false, u"", id, true, false, cover},
        {"no line, no id: the build's picture of music", false, u"", "", true, false, "music"},
        {"no line, no id: the build's picture of video", false, u"", "", true, true, "video"},
        {"no line, no id, no build picture: none", false, u"", "", false, false, ""},
        {"an empty line: none, cover or not", true, u"", id, true, false, ""},
        {"a key wins over the cover", true, u"logo", id, false, false, "logo"},
        {"a group with the id, then a key: the address", true,
         u"{https://example.org/[MUSICBRAINZ_ALBUMID].jpg} logo", id, false, false,
         "https://example.org/" + id + ".jpg"},
        {"the same without an id: the key", true,
         u"{https://example.org/[MUSICBRAINZ_ALBUMID].jpg} logo", "", false, false, "logo"},
        {"no alternative applies: as no line", true, u"{https://x.org/[MUSICBRAINZ_ALBUMID]}", "",
         true, true, "video"},
        {"an address longer than Discord takes is passed over", true, longUrl + u" logo", "", false,
         false, "logo"},
        {"a marker's spaces split it: its first word alone is no address", true,
         u"https://example.org/[TITLE]", "", false, false, "https://example.org/Best"},
    };
    PresenceSettings settings;
    setDefaultPresence(settings);
    for (const Case& c : cases) {
        settings.imageGiven = c.given;
        settings.image.length = c.line.size();
        std::memcpy(settings.image.text, c.line.data(), (c.line.size() + 1) * sizeof(char16_t));
        settings.buildApplication = c.build;
        TemplateValues values{};
        for (TemplateValue& value : values.value) value = {u"", 0};
        values.value[MARKER_TITLE] = {u"Best Song", 9};
        const std::u16string id16(c.id.begin(), c.id.end());
        values.value[MARKER_MUSICBRAINZ_ALBUMID] = {id16.data(), id16.size()};
        char image[PRESENCE_IMAGE_TEXT_CAPACITY];
        composePresenceImage(settings, values, c.id.c_str(), c.watching, image);
        EXPECT_EQ(std::string(image), c.expected) << c.name;
    }
}

TEST(PresenceProtocol, FramesAndNonces) {
    unsigned char header[PRESENCE_FRAME_HEADER_BYTES];
    writePresenceFrameHeader(PRESENCE_PONG, 0x01020304, header);
    const unsigned char expected[] = {4, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_EQ(std::memcmp(header, expected, sizeof expected), 0);
    const PresenceFrameHeader read = readPresenceFrameHeader(expected);
    EXPECT_EQ(read.opcode, PRESENCE_PONG);
    EXPECT_EQ(read.length, 0x01020304u);
    const unsigned char high[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(readPresenceFrameHeader(high).length, 0x80000000u);

    char first[PRESENCE_NONCE_CAPACITY];
    char second[PRESENCE_NONCE_CAPACITY];
    writePresenceNonce(0x1A2C, 7, 0x18C0FFEE123ull, first);
    writePresenceNonce(0x1A2C, 8, 0x18C0FFEE123ull, second);
    EXPECT_STREQ(first, "1a2c-7-18c0ffee123");
    EXPECT_STRNE(first, second);
}

TEST(PresenceProtocol, RepliesRead) {
    using K = PresenceReplyKind;
    struct Case {
        const char* name;
        std::uint32_t opcode;
        std::string json;
        K kind;
        const char* nonce;
        std::int64_t code;
        const char* userName;
        const char* message;
    };
    const Case cases[] = {
        {"READY with a display name", PRESENCE_FRAME,
         R"({"cmd":"DISPATCH","data":{"v":1,"config":{"cdn_host":"cdn"},"user":{"id":"1",)"
         R"("username":"ann","global_name":"Ann \u00c5 \"A\"","bot":false}},"evt":"READY","nonce":null})",
         K::Ready, "", 0, "Ann \xC3\x85 \"A\"", ""},
        {"READY without one: the user name", PRESENCE_FRAME,
         R"({"evt":"READY","data":{"user":{"username":"bob","global_name":null}}})", K::Ready, "",
         0, "bob", ""},
        {"an answer: the nonce", PRESENCE_FRAME,
         R"({"cmd":"SET_ACTIVITY","data":{"state":"x"},"evt":null,"nonce":"1a-2-3"})", K::Answer,
         "1a-2-3", 0, "", ""},
        {"a refusal: code and message", PRESENCE_FRAME,
         R"({"cmd":"SET_ACTIVITY","evt":"ERROR","data":{"code":4002,"message":"bad\nfield"},"nonce":"n1"})",
         K::Refused, "n1", 4002, "", "bad\nfield"},
        {"closed with 4000", PRESENCE_CLOSE, R"({"code":4000,"message":"Invalid Client ID"})",
         K::Closed, "", 4000, "", "Invalid Client ID"},
        {"an event not asked for", PRESENCE_FRAME, R"({"cmd":"DISPATCH","evt":"X","data":{}})",
         K::Other, "", 0, "", ""},
        {"keys looked for only at their level", PRESENCE_FRAME,
         R"({"data":{"evt":"READY","nonce":"inner"},"x":[{"nonce":"deep"}]})", K::Other, "", 0, "",
         ""},
        {"not JSON", PRESENCE_FRAME, "{\"evt\":", K::Unreadable, "", 0, "", ""},
        {"not an object", PRESENCE_FRAME, "[1,2]", K::Unreadable, "", 0, "", ""},
        {"a number too long is no code", PRESENCE_CLOSE, R"({"code":1234567890123456789})",
         K::Closed, "", 0, "", ""},
        {"a bad escape is no JSON", PRESENCE_CLOSE, R"({"code":1,"message":"ab\u12"})",
         K::Unreadable, "", 0, "", ""},
        {"too many tokens", PRESENCE_FRAME,
         "{\"evt\":\"READY\",\"a\":[" + repeated("1,", 600) + "1]}", K::Unreadable, "", 0, "", ""},
        {"a long name cut between whole characters", PRESENCE_FRAME,
         "{\"evt\":\"READY\",\"data\":{\"user\":{\"username\":\"" + repeated("\xE6\x97\xA5", 30) +
             "\"}}}",
         K::Ready, "", 0,
         "\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5"
         "\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5"
         "\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5",
         ""},
    };
    for (const Case& c : cases) {
        PresenceReply reply;
        readPresenceReply(c.opcode, c.json.data(), c.json.size(), reply);
        EXPECT_EQ(reply.kind, c.kind) << c.name;
        EXPECT_STREQ(reply.nonce, c.nonce) << c.name;
        EXPECT_EQ(reply.code, c.code) << c.name;
        EXPECT_STREQ(reply.userName, c.userName) << c.name;
        EXPECT_STREQ(reply.message, c.message) << c.name;
    }
}

}  // namespace

namespace {

// A frame the plug-in wrote to the stand-in's pipe.
struct WrittenFrame {
    std::uint32_t opcode;
    std::string json;
};

// Waits for the next frame the plug-in writes (at most `limitSeconds`).
bool nextFrame(WrittenFrame& frame, int limitSeconds = 5) {
    static std::string pending;
    for (int tries = 0; tries < limitSeconds * 100; ++tries) {
        char bytes[4096];
        pending.append(bytes, standin::takePipeWritten(bytes, sizeof bytes));
        if (pending.size() >= PRESENCE_FRAME_HEADER_BYTES) {
            const PresenceFrameHeader header =
                readPresenceFrameHeader(reinterpret_cast<const unsigned char*>(pending.data()));
            if (pending.size() >= PRESENCE_FRAME_HEADER_BYTES + header.length) {
                frame = {header.opcode, pending.substr(PRESENCE_FRAME_HEADER_BYTES, header.length)};
                pending.erase(0, PRESENCE_FRAME_HEADER_BYTES + header.length);
                return true;
            }
        }
        usleep(10000);
    }
    return false;
}

void reply(std::uint32_t opcode, const std::string& json) {
    unsigned char header[PRESENCE_FRAME_HEADER_BYTES];
    writePresenceFrameHeader(opcode, static_cast<std::uint32_t>(json.size()), header);
    standin::putPipeReply(header, sizeof header);
    standin::putPipeReply(json.data(), json.size());
}

std::string nonceOf(const std::string& json) {
    const std::size_t at = json.find("\"nonce\":\"");
    return at == std::string::npos ? "" : json.substr(at + 9, json.find('"', at + 9) - at - 9);
}

// The worker's whole round through the stand-in's pipe: a handshake, READY,
// the activity, a ping answered, a refusal that stops nothing, and the
// clearing that ends the connection.
TEST(PresenceConnection, SetsAndClearsThroughThePipe) {
    standin::reset();
    standin::listenOnPipe(u"\\\\?\\pipe\\discord-ipc-0");
    PresenceSettings settings;
    setDefaultPresence(settings);
    std::strcpy(settings.applicationId, "42");
    configurePresence(settings);
    PresenceActivity activity = activityOf(u"Best Song", u"by My Band", u"");
    postPresence(&activity);

    WrittenFrame frame;
    ASSERT_TRUE(nextFrame(frame));
    EXPECT_EQ(frame.opcode, PRESENCE_HANDSHAKE);
    EXPECT_EQ(frame.json, "{\"v\":1,\"client_id\":\"42\"}");
    // Nothing before READY.
    EXPECT_FALSE(nextFrame(frame, 1));
    reply(PRESENCE_FRAME, R"({"cmd":"DISPATCH","evt":"READY","data":{"user":{"username":"u"}}})");
    ASSERT_TRUE(nextFrame(frame));
    EXPECT_EQ(frame.opcode, PRESENCE_FRAME);
    EXPECT_NE(frame.json.find("\"details\":\"Best Song\",\"state\":\"by My Band\""),
              std::string::npos)
        << frame.json;
    EXPECT_NE(frame.json.find("\"pid\":" + std::to_string(getpid())), std::string::npos);
    reply(PRESENCE_FRAME, R"({"cmd":"SET_ACTIVITY","evt":"ERROR","data":{"code":4002},"nonce":")" +
                              nonceOf(frame.json) + "\"}");

    // A refusal stops nothing; a ping is answered with its payload.
    reply(PRESENCE_PING, "{\"p\":1}");
    activity = activityOf(u"Next", u"", u"");
    postPresence(&activity);
    WrittenFrame pong;
    ASSERT_TRUE(nextFrame(pong));
    ASSERT_TRUE(nextFrame(frame));
    if (pong.opcode != PRESENCE_PONG) std::swap(pong, frame);
    EXPECT_EQ(pong.opcode, PRESENCE_PONG);
    EXPECT_EQ(pong.json, "{\"p\":1}");
    EXPECT_NE(frame.json.find("\"details\":\"Next\""), std::string::npos) << frame.json;

    postPresence(nullptr);
    ASSERT_TRUE(nextFrame(frame));
    EXPECT_EQ(frame.json,
              "{\"cmd\":\"SET_ACTIVITY\",\"args\":{\"pid\":" + std::to_string(getpid()) +
                  "},\"nonce\":\"" + nonceOf(frame.json) + "\"}");
    reply(PRESENCE_FRAME,
          R"({"cmd":"SET_ACTIVITY","data":null,"nonce":")" + nonceOf(frame.json) + "\"}");
    standin::waitForBackgroundRuns();
    EXPECT_FALSE(standin::pipeConnected());
    EXPECT_EQ(standin::pipeConnectionCount(), 1u);
    standin::reset();
}

// Connects the worker to the stand-in's pipe as application 42 and shows
// `details`; the activity's frame is left in `shown`.
void connectAndShow(const std::u16string& details, WrittenFrame& shown) {
    standin::reset();
    // Commands of earlier tests are out of the rate rule's window.
    standin::advanceClock(PRESENCE_RATE_WINDOW_MILLISECONDS);
    standin::listenOnPipe(u"\\\\?\\pipe\\discord-ipc-0");
    PresenceSettings settings;
    setDefaultPresence(settings);
    std::strcpy(settings.applicationId, "42");
    configurePresence(settings);
    PresenceActivity activity = activityOf(details, u"", u"");
    postPresence(&activity);
    ASSERT_TRUE(nextFrame(shown));
    ASSERT_EQ(shown.opcode, PRESENCE_HANDSHAKE);
    reply(PRESENCE_FRAME, R"({"evt":"READY","data":{"user":{"username":"u"}}})");
    ASSERT_TRUE(nextFrame(shown));
    ASSERT_NE(shown.json.find(utf8(details)), std::string::npos) << shown.json;
}

// As pluginInit does with settings that name no application: the worker
// closes what is open and shows nothing more.
void startAfreshWithoutPresence() {
    PresenceSettings settings;
    setDefaultPresence(settings);
    configurePresence(settings);
    standin::waitForBackgroundRuns();
    standin::reset();
}

// Sends `count` activities, each as soon as the rate rule lets it go: a burst.
void burst(int count) {
    for (int n = 0; n < count; ++n) {
        PresenceActivity activity = activityOf(u"Track " + u16(std::to_string(n)), u"", u"");
        postPresence(&activity);
        WrittenFrame frame;
        ASSERT_TRUE(nextFrame(frame, 2)) << n;
    }
}

// Five commands fill Discord's window; weeks later (past the 24.8 days a
// signed count of milliseconds holds) the next is sent at once.
TEST(PresenceConnection, RateRuleForgetsCommandsAcrossTheClocksWrap) {
    WrittenFrame frame;
    connectAndShow(u"First", frame);
    burst(PRESENCE_COMMANDS_PER_WINDOW - 1);
    standin::advanceClock(30u * 24 * 60 * 60 * 1000);
    PresenceActivity activity = activityOf(u"Weeks later", u"", u"");
    postPresence(&activity);
    ASSERT_TRUE(nextFrame(frame, 2));
    EXPECT_NE(frame.json.find("Weeks later"), std::string::npos) << frame.json;
    startAfreshWithoutPresence();
}

// A withdraw right after a burst does not wait for the window: the
// connection closes, which clears the activity at once.
TEST(PresenceConnection, WithdrawAfterABurstClosesAtOnce) {
    WrittenFrame frame;
    connectAndShow(u"First", frame);
    burst(PRESENCE_COMMANDS_PER_WINDOW - 1);
    PresenceActivity waiting = activityOf(u"Waits for the window", u"", u"");
    postPresence(&waiting);
    postPresence(nullptr);
    for (int tries = 0; tries < 100 && standin::pipeConnected(); ++tries) usleep(10000);
    EXPECT_FALSE(standin::pipeConnected());
    EXPECT_FALSE(nextFrame(frame, 1)) << frame.json;
    startAfreshWithoutPresence();
}

// The host loads the module again while it is still mapped: the new start
// clears what the old one showed, whether its application is changed or
// gone, and a large ping before it is answered whole.
TEST(PresenceConnection, RestartClearsTheOldActivity) {
    for (const char* applicationId : {"43", ""}) {
        WrittenFrame frame;
        connectAndShow(u"Old start", frame);
        const std::string ping = "{\"p\":\"" + std::string(6000, 'x') + "\"}";
        reply(PRESENCE_PING, ping);
        // A publish has the worker look at the pipe now: it answers first.
        PresenceActivity activity = activityOf(u"Old start again", u"", u"");
        postPresence(&activity);
        ASSERT_TRUE(nextFrame(frame));
        EXPECT_EQ(frame.opcode, PRESENCE_PONG);
        EXPECT_EQ(frame.json, ping);
        ASSERT_TRUE(nextFrame(frame));
        const unsigned connections = standin::pipeConnectionCount();
        PresenceSettings settings;
        setDefaultPresence(settings);
        std::strcpy(settings.applicationId, applicationId);
        configurePresence(settings);
        standin::waitForBackgroundRuns();
        EXPECT_FALSE(standin::pipeConnected()) << applicationId;
        EXPECT_EQ(standin::pipeConnectionCount(), connections) << applicationId;
        startAfreshWithoutPresence();
    }
}

// The settings window's test of an application id: what Discord answers.
TEST(PresenceConnection, CheckSaysWhatDiscordAnswered) {
    standin::reset();
    char name[PRESENCE_USER_NAME_CAPACITY];
    EXPECT_EQ(checkPresenceConnection("42", name), PresenceCheck::NotRunning);
    standin::listenOnPipe(u"\\\\?\\pipe\\discord-ipc-0");
    reply(PRESENCE_FRAME,
          R"({"evt":"READY","data":{"user":{"username":"ann","global_name":"Ann"}}})");
    EXPECT_EQ(checkPresenceConnection("42", name), PresenceCheck::Connected);
    EXPECT_STREQ(name, "Ann");
    EXPECT_FALSE(standin::pipeConnected());
    reply(PRESENCE_CLOSE, R"({"code":4000,"message":"Invalid Client ID"})");
    EXPECT_EQ(checkPresenceConnection("41", name), PresenceCheck::InvalidId);
    char written[256];
    const std::string handshake(written, standin::takePipeWritten(written, sizeof written));
    EXPECT_NE(handshake.find("{\"v\":1,\"client_id\":\"41\"}"), std::string::npos);
    standin::reset();
}

}  // namespace
