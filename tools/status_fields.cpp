#include "tools/status_fields.h"

#include <cstring>

#include "status/status_text.h"

namespace {

constexpr int CATEGORY_FIELD = 1;
constexpr int DISPLAY_LINE_FIELD = 4;

}  // namespace

StatusDisplay readStatusDisplay(const char* text) {
    StatusDisplay display{{nullptr, 0}, {nullptr, 0}};
    const std::size_t separatorLength = std::strlen(STATUS_FIELD_SEPARATOR);
    int field = 0;
    const char* fieldStart = text;
    for (;;) {
        const char* separator = std::strstr(fieldStart, STATUS_FIELD_SEPARATOR);
        const std::size_t length = separator != nullptr
                                       ? static_cast<std::size_t>(separator - fieldStart)
                                       : std::strlen(fieldStart);
        if (field == CATEGORY_FIELD) display.category = {fieldStart, length};
        if (field == DISPLAY_LINE_FIELD) display.displayLine = {fieldStart, length};
        if (separator == nullptr || field == DISPLAY_LINE_FIELD) break;
        fieldStart = separator + separatorLength;
        ++field;
    }
    return display;
}
