#pragma once
#include "platform/platform.h"

// Shows the modal About box, owned by `owner`, with the contact address, and
// returns when the user has closed it.
void showAboutBox(PlatformWindow owner);
