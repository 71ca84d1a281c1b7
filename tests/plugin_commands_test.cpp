// The host's view: pluginInit, then numbered commands through the callback,
// with messenger windows and message boxes played by the stand-in.
#include <climits>

#include "test_support.h"
#include "velkar_build_config.h"

namespace {

const char* const ROAD_PATH = "C:\\Media\\My_Band_-_Best.Song.mp3";
const std::string ROAD_TEXT = "\\0Music\\01\\0{0}\\0My Band - Best Song\\0";
const std::string WITHDRAWN = "\\0Games\\01\\0{0}\\0\\0\\0\\0\\0";

class PluginCommands : public FreshModule {
protected:
    void SetUp() override {
        FreshModule::SetUp();
        ASSERT_EQ(pluginInit(&descriptor), 1);
    }
};

TEST_F(PluginCommands, InitRegistersNameAndCallback) {
    EXPECT_STREQ(descriptor.description, "Tamsel's Velkar");
    EXPECT_EQ(descriptor.callback, &onHostCommand);
    EXPECT_EQ(moduleState.descriptor, &descriptor);
    EXPECT_EQ(standin::receivedCount(), 0u);
}

TEST(PluginInit, NullRecordReturnsOneAndChangesNothing) {
    std::memset(&moduleState, 0, sizeof moduleState);
    EXPECT_EQ(pluginInit(nullptr), 1);
    const ModuleState untouched{};
    EXPECT_EQ(std::memcmp(&moduleState, &untouched, sizeof moduleState), 0);
}

// The road of one event, byte for byte: 38 units, a terminator, 78 bytes.
TEST_F(PluginCommands, AnnouncedFileIsPublishedByteForByte) {
    const PlatformWindow messenger = standin::openWindow("MsnMsgrUIManager");
    EXPECT_EQ(setFile(ROAD_PATH), 0);
    EXPECT_EQ(standin::receivedCount(), 0u) << "announcing a file sends nothing";
    EXPECT_EQ(publish(), 0);

    ASSERT_EQ(standin::receivedCount(), 1u);
    const standin::ReceivedRecord& record = standin::received(0);
    EXPECT_EQ(record.window, messenger);
    EXPECT_EQ(record.sender, &hostWindowStorage);
    EXPECT_EQ(record.identifier, 0x547u);
    EXPECT_EQ(record.byteCount, 78u);
    std::u16string expected = latin1(ROAD_TEXT);
    expected.push_back(u'\0');
    ASSERT_EQ(expected.size() * 2, 78u);
    EXPECT_EQ(std::memcmp(record.bytes, expected.data(), 78), 0);
}

struct SendCase {
    const char* name;
    std::vector<std::int32_t> commands;  // 40002 announces ROAD_PATH
    std::vector<std::string> sentTexts;
};

TEST_F(PluginCommands, CommandSequencesSendWhatTheHostExpects) {
    const SendCase cases[] = {
        {"publish before any file sends the empty text", {40006}, {""}},
        {"withdraw sends the fixed text", {40007}, {WITHDRAWN}},
        {"announce alone sends nothing", {40002}, {}},
        {"announce, withdraw, publish", {40002, 40007, 40006}, {WITHDRAWN, ROAD_TEXT}},
        {"publish after withdraw resends the composed text",
         {40002, 40006, 40007, 40006},
         {ROAD_TEXT, WITHDRAWN, ROAD_TEXT}},
    };
    for (const SendCase& c : cases) {
        SetUp();
        standin::openWindow("MsnMsgrUIManager");
        for (std::int32_t number : c.commands) {
            EXPECT_EQ(number == 40002 ? setFile(ROAD_PATH) : command(number), 0) << c.name;
        }
        ASSERT_EQ(standin::receivedCount(), c.sentTexts.size()) << c.name;
        for (std::size_t i = 0; i < c.sentTexts.size(); ++i) {
            const standin::ReceivedRecord& record = standin::received(i);
            EXPECT_EQ(receivedText(record), latin1(c.sentTexts[i])) << c.name;
            EXPECT_EQ(record.byteCount, 2 * c.sentTexts[i].size() + 2) << c.name;
        }
    }
}

TEST_F(PluginCommands, WithdrawIs25UnitsAnd52Bytes) {
    standin::openWindow("MsnMsgrUIManager");
    withdraw();
    ASSERT_EQ(standin::receivedCount(), 1u);
    EXPECT_EQ(standin::received(0).byteCount, 52u);
    EXPECT_EQ(standin::received(0).bytes[50], 0);
    EXPECT_EQ(standin::received(0).bytes[51], 0);
}

TEST_F(PluginCommands, NumbersOutsideTheTableDoNothing) {
    standin::openWindow("MsnMsgrUIManager");
    setFile(ROAD_PATH);
    const std::u16string before = moduleState.composed.statusText;
    const char* otherPath = "D:\\other.avi";
    for (std::int32_t number : {INT_MIN, -40002, -1, 0, 2, 39999, 40000, 40001, 40003, 40005, 40008,
                                40010, 80004, INT_MAX}) {
        EXPECT_EQ(command(number, reinterpret_cast<std::intptr_t>(otherPath)), 0) << number;
    }
    EXPECT_EQ(standin::receivedCount(), 0u);
    EXPECT_EQ(standin::shownMessageBoxCount(), 0u);
    EXPECT_EQ(std::u16string(moduleState.composed.statusText), before);
}

TEST_F(PluginCommands, SetFileWithNullPathChangesNothing) {
    setFile(ROAD_PATH);
    EXPECT_EQ(command(40002, 0), 0);
    EXPECT_EQ(std::u16string(moduleState.composed.statusText), latin1(ROAD_TEXT));
}

TEST_F(PluginCommands, AboutBoxIsOwnedByTheGivenWindow) {
    int owner = 0;
    EXPECT_EQ(command(40004, reinterpret_cast<std::intptr_t>(&owner)), 0);
    ASSERT_EQ(standin::shownMessageBoxCount(), 1u);
    const standin::ShownMessageBox& box = standin::shownMessageBox(0);
    EXPECT_EQ(box.owner, &owner);
    EXPECT_STREQ(box.caption, "About");
    EXPECT_EQ(std::string(box.text), std::string("Send comments to ") + VELKAR_CONTACT_ADDRESS);
    EXPECT_NE(std::string(VELKAR_CONTACT_ADDRESS).find('@'), std::string::npos);
    EXPECT_EQ(standin::receivedCount(), 0u);
}

// The sender is read from the record at each send, so a host that replaces
// its window is named correctly.
TEST_F(PluginCommands, SenderIsTheHostWindowAtTheTimeOfSending) {
    standin::openWindow("MsnMsgrUIManager");
    publish();
    int replacement = 0;
    descriptor.hostWindow = &replacement;
    publish();
    ASSERT_EQ(standin::receivedCount(), 2u);
    EXPECT_EQ(standin::received(0).sender, &hostWindowStorage);
    EXPECT_EQ(standin::received(1).sender, &replacement);
}

TEST_F(FreshModule, SendBeforeInitNamesNoSender) {
    standin::openWindow("MsnMsgrUIManager");
    EXPECT_EQ(onHostCommand(40007, 0, 0), 0);
    ASSERT_EQ(standin::receivedCount(), 1u);
    EXPECT_EQ(standin::received(0).sender, nullptr);
}

}  // namespace
