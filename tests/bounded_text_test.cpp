#include "text/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct CopyCase {
    const char* source;
    std::size_t capacity;
    const char* expected;
};

TEST(BoundedText, CopyCutsToCapacityAndAlwaysTerminates) {
    const CopyCase cases[] = {
        {"", 4, ""}, {"abc", 4, "abc"}, {"abcd", 4, "abc"}, {"abcdef", 1, ""}, {"ab", 2, "a"},
    };
    for (const CopyCase& c : cases) {
        char buffer[8];
        std::memset(buffer, 'x', sizeof buffer);
        const std::size_t copied = copyBounded(buffer, c.capacity, c.source);
        EXPECT_STREQ(buffer, c.expected) << c.source << " into " << c.capacity;
        EXPECT_EQ(copied, std::strlen(c.expected));
        EXPECT_EQ(buffer[c.capacity], 'x') << "wrote past the capacity";
    }
}

TEST(BoundedText, AppendKeepsWithinCapacity) {
    char buffer[8] = "abc";
    std::size_t length = appendBounded(buffer, 6, 3, "defgh");
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(length, 5u);
    length = appendBounded(buffer, 6, length, "z");
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(length, 5u);
}

TEST(BoundedText, CopyCountTakesUnterminatedSource) {
    const char source[3] = {'a', 'b', 'c'};
    char buffer[8];
    EXPECT_EQ(copyBoundedCount(buffer, sizeof buffer, source, 2), 2u);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(boundedLength(source, sizeof source), 3u);
}

}  // namespace
