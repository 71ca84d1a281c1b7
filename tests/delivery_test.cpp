// Delivery to the messenger's windows, through the stand-in.
#include "outputs/messenger.h"
#include "test_support.h"

namespace {

class Delivery : public ::testing::Test {
protected:
    void SetUp() override { standin::reset(); }
};

TEST_F(Delivery, EveryMessengerWindowGetsTheIdenticalRecord) {
    const PlatformWindow first = standin::openWindow(MESSENGER_WINDOW_CLASS);
    standin::openWindow("SomeOtherWindowClass");
    const PlatformWindow second = standin::openWindow(MESSENGER_WINDOW_CLASS);
    int sender = 0;
    sendStatus(u"\\0Music\\01\\0{0}\\0x\\0", 40, &sender);

    ASSERT_EQ(standin::receivedCount(), 2u);
    const standin::ReceivedRecord& a = standin::received(0);
    const standin::ReceivedRecord& b = standin::received(1);
    EXPECT_EQ(a.window, first);
    EXPECT_EQ(b.window, second);
    EXPECT_EQ(a.identifier, b.identifier);
    EXPECT_EQ(a.sender, b.sender);
    ASSERT_EQ(a.byteCount, b.byteCount);
    EXPECT_EQ(std::memcmp(a.bytes, b.bytes, a.byteCount), 0);
}

TEST_F(Delivery, NoMessengerWindowMeansNothingSent) {
    standin::openWindow("SomeOtherWindowClass");
    sendStatus(u"text", 6, nullptr);
    EXPECT_EQ(standin::receivedCount(), 0u);
}

// A hung messenger is given up on; the windows after it still get the record.
TEST_F(Delivery, HungWindowIsSkipped) {
    const PlatformWindow hung = standin::openWindow(MESSENGER_WINDOW_CLASS);
    const PlatformWindow healthy = standin::openWindow(MESSENGER_WINDOW_CLASS);
    standin::setWindowHung(hung, true);
    sendStatus(u"abc", 5, nullptr);
    EXPECT_EQ(standin::timedOutSendCount(), 1u);
    ASSERT_EQ(standin::receivedCount(), 1u);
    EXPECT_EQ(standin::received(0).window, healthy);
    EXPECT_EQ(receivedText(standin::received(0)), u"abc");
}

struct WindowsCase {
    std::size_t windows;
    bool closeOnReceipt;
};

// However many messenger windows there are, each gets the record exactly
// once, in search order, also when every one closes as it receives it.
TEST_F(Delivery, EveryWindowGetsTheRecordOnceHoweverMany) {
    const std::size_t many = 3 * MESSENGER_WINDOW_BATCH + 5;
    const WindowsCase cases[] = {
        {1, false},
        {MESSENGER_WINDOW_BATCH, false},
        {MESSENGER_WINDOW_BATCH + 1, false},
        {many, false},
        {3, true},
        {MESSENGER_WINDOW_BATCH + 1, true},
        {many, true},
    };
    for (const WindowsCase& c : cases) {
        standin::reset();
        std::vector<PlatformWindow> opened;
        for (std::size_t i = 0; i < c.windows; ++i) {
            opened.push_back(standin::openWindow(MESSENGER_WINDOW_CLASS));
            standin::openWindow("SomeOtherWindowClass");
            if (c.closeOnReceipt) standin::setWindowClosesOnReceipt(opened.back());
        }
        sendStatus(u"abc", 5, nullptr);
        ASSERT_EQ(standin::receivedCount(), c.windows) << c.windows << " " << c.closeOnReceipt;
        for (std::size_t i = 0; i < c.windows; ++i) {
            EXPECT_EQ(standin::received(i).window, opened[i]) << i;
        }
        sendStatus(u"abc", 5, nullptr);
        EXPECT_EQ(standin::receivedCount(), c.closeOnReceipt ? c.windows : 2 * c.windows)
            << "closed windows are not found again";
    }
}

struct BoundCase {
    std::u16string text;
    std::size_t bound;
    std::u16string expected;  // units before the terminator
};

// The bound caps the units produced, terminator included, and the record
// always ends in a terminator inside its byte count.
TEST_F(Delivery, BoundCapsTheWideText) {
    const BoundCase cases[] = {
        {u"abc", 5, u"abc"},
        {u"abc", 4, u"abc"},
        {u"abc", 3, u"ab"},
        {u"abc", 1, u""},
        {u"abc", 0, u""},
        {std::u16string(600, u'z'), 700, std::u16string(499, u'z')},
        // A cut never parts a surrogate pair.
        {u"ab\U0001F600", 5, u"ab\U0001F600"},
        {u"ab\U0001F600", 4, u"ab"},
        {std::u16string(498, u'z') + u"\U0001F600", 700, std::u16string(498, u'z')},
    };
    standin::openWindow(MESSENGER_WINDOW_CLASS);
    for (const BoundCase& c : cases) {
        standin::reset();
        standin::openWindow(MESSENGER_WINDOW_CLASS);
        sendStatus(c.text.c_str(), c.bound, nullptr);
        ASSERT_EQ(standin::receivedCount(), 1u);
        const standin::ReceivedRecord& record = standin::received(0);
        EXPECT_EQ(record.byteCount, 2 * c.expected.size() + 2) << c.text.size() << "/" << c.bound;
        EXPECT_EQ(receivedText(record), c.expected);
        EXPECT_EQ(record.bytes[record.byteCount - 1], 0);
        EXPECT_EQ(record.bytes[record.byteCount - 2], 0);
    }
}

}  // namespace
