#include "programs/status_fields.h"

namespace {

constexpr int CATEGORY_FIELD = 1;
constexpr int DISPLAY_LINE_FIELD = 4;

}  // namespace

StatusDisplay readStatusDisplay(const char16_t* text, std::size_t units) {
    StatusDisplay display{{nullptr, 0}, {nullptr, 0}};
    int field = 0;
    std::size_t fieldStart = 0;
    for (std::size_t at = 0; at <= units; ++at) {
        const bool separator = at + 1 < units && text[at] == u'\\' && text[at + 1] == u'0';
        if (!separator && at < units) continue;
        const StatusField found{text + fieldStart, at - fieldStart};
        if (field == CATEGORY_FIELD) display.category = found;
        if (field == DISPLAY_LINE_FIELD) {
            display.displayLine = found;
            break;
        }
        ++field;
        fieldStart = at + 2;
        ++at;
    }
    return display;
}
