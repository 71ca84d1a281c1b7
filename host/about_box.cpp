#include "host/about_box.h"

#include "host/plugin_identity.h"
#include "velkar_build_config.h"

void showAboutBox(PlatformWindow owner) {
    showMessageBox(owner, VELKAR_ABOUT_LEAD VELKAR_CONTACT_ADDRESS, VELKAR_ABOUT_CAPTION);
}
