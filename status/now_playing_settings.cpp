#include "status/now_playing_settings.h"

void setDefaultNowPlaying(NowPlayingSettings& settings) {
    settings.path[0] = u'\0';
    settings.textTemplate[0] = u'\0';
    settings.textTemplateLength = 0;
    settings.hasTextTemplate = false;
    settings.withdrawnText[0] = u'\0';
    settings.withdrawnLength = 0;
    settings.encoding = NowPlayingEncoding::Utf8;
    settings.namesSettingsFile = false;
    settings.switchedOff = false;
    settings.jsonPath[0] = u'\0';
    settings.jsonNamesSettingsFile = false;
    settings.coverPath[0] = u'\0';
    settings.coverMissingPath[0] = u'\0';
}
