// Delivery to the messenger's windows, through the stand-in.
#include "status/delivery.h"

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
    sendStatus("\\0Music\\01\\0{0}\\0x\\0", 40, &sender);

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
    sendStatus("text", 6, nullptr);
    EXPECT_EQ(standin::receivedCount(), 0u);
}

// A hung messenger is given up on; the windows after it still get the record.
TEST_F(Delivery, HungWindowIsSkipped) {
    const PlatformWindow hung = standin::openWindow(MESSENGER_WINDOW_CLASS);
    const PlatformWindow healthy = standin::openWindow(MESSENGER_WINDOW_CLASS);
    standin::setWindowHung(hung, true);
    sendStatus("abc", 5, nullptr);
    EXPECT_EQ(standin::timedOutSendCount(), 1u);
    ASSERT_EQ(standin::receivedCount(), 1u);
    EXPECT_EQ(standin::received(0).window, healthy);
    EXPECT_EQ(receivedText(standin::received(0)), u"abc");
}

// The windows are listed before the first send, so one that closes on
// receipt costs the others nothing.
TEST_F(Delivery, WindowsThatCloseOnReceiptAllGetTheRecord) {
    for (int i = 0; i < 3; ++i) {
        standin::setWindowClosesOnReceipt(standin::openWindow(MESSENGER_WINDOW_CLASS));
    }
    sendStatus("abc", 5, nullptr);
    EXPECT_EQ(standin::receivedCount(), 3u);
    sendStatus("abc", 5, nullptr);
    EXPECT_EQ(standin::receivedCount(), 3u) << "closed windows are not found again";
}

TEST_F(Delivery, AtMostTheWindowCapacityIsReached) {
    for (std::size_t i = 0; i < MESSENGER_WINDOW_CAPACITY + 6; ++i) {
        standin::openWindow(MESSENGER_WINDOW_CLASS);
    }
    sendStatus("abc", 5, nullptr);
    EXPECT_EQ(standin::receivedCount(), MESSENGER_WINDOW_CAPACITY);
}

struct BoundCase {
    std::string text;
    std::size_t bound;
    std::u16string expected;  // units before the terminator
};

// The bound caps the units produced, terminator included, and the record
// always ends in a terminator inside its byte count.
TEST_F(Delivery, BoundCapsTheWideText) {
    const BoundCase cases[] = {
        {"abc", 5, u"abc"},
        {"abc", 4, u"abc"},
        {"abc", 3, u"ab"},
        {"abc", 1, u""},
        {"abc", 0, u""},
        {std::string(600, 'z'), 700, std::u16string(499, u'z')},
        {"\xE9\x80\x92\xFF", 6, u"\u00E9\u0080\u0092\u00FF"},
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
