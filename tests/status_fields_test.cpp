// Reading a status text as the messenger does: split at every "\0".
#include "programs/status_fields.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string fieldText(const StatusField& field) {
    return field.begin == nullptr ? u"(absent)" : std::u16string(field.begin, field.length);
}

TEST(StatusFields, CategoryAndDisplayLine) {
    struct Case {
        const char16_t* text;
        const char16_t* category;
        const char16_t* displayLine;
    };
    const Case cases[] = {
        {u"\\0Music\\01\\0{0}\\0My Band - Best Song\\0", u"Music", u"My Band - Best Song"},
        {u"\\0Games\\01\\0{0}\\0\\0\\0\\0\\0", u"Games", u""},
        {u"\\0Office\\01\\0{0}\\0watching holiday \\0", u"Office", u"watching holiday "},
        // A separator inside the words splits the line there, as the messenger would.
        {u"\\0Music\\01\\0{0}\\0a\\0b\\0", u"Music", u"a"},
        {u"\\0Music\\01\\0{0}\\0tail", u"Music", u"tail"},
        {u"\\0Music\\01", u"Music", u"(absent)"},
        {u"", u"(absent)", u"(absent)"},
        {u"no separators", u"(absent)", u"(absent)"},
    };
    for (const Case& c : cases) {
        const std::u16string text = c.text;
        const StatusDisplay display = readStatusDisplay(text.data(), text.size());
        EXPECT_EQ(fieldText(display.category), c.category);
        EXPECT_EQ(fieldText(display.displayLine), c.displayLine);
    }
}

}  // namespace
