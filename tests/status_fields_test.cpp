// Reading a status text as the messenger does: split at every "\0".
#include "tools/status_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string fieldText(const StatusField& field) {
    return field.begin == nullptr ? "(absent)" : std::string(field.begin, field.length);
}

TEST(StatusFields, CategoryAndDisplayLine) {
    struct Case {
        const char* text;
        const char* category;
        const char* displayLine;
    };
    const Case cases[] = {
        {"\\0Music\\01\\0{0}\\0My Band - Best Song\\0", "Music", "My Band - Best Song"},
        {"\\0Games\\01\\0{0}\\0\\0\\0\\0\\0", "Games", ""},
        {"\\0Office\\01\\0{0}\\0watching holiday \\0", "Office", "watching holiday "},
        // A separator inside the words splits the line there, as the messenger would.
        {"\\0Music\\01\\0{0}\\0a\\0b\\0", "Music", "a"},
        {"\\0Music\\01\\0{0}\\0tail", "Music", "tail"},
        {"\\0Music\\01", "Music", "(absent)"},
        {"", "(absent)", "(absent)"},
        {"no separators", "(absent)", "(absent)"},
    };
    for (const Case& c : cases) {
        const StatusDisplay display = readStatusDisplay(c.text);
        EXPECT_EQ(fieldText(display.category), c.category) << c.text;
        EXPECT_EQ(fieldText(display.displayLine), c.displayLine) << c.text;
    }
}

}  // namespace
