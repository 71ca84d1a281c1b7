/* Names the plug-in shows. Plain C macros with a classic guard, because the
   version resource reads this file too. */
#ifndef VELKAR_PLUGIN_IDENTITY_H
#define VELKAR_PLUGIN_IDENTITY_H

#define VELKAR_DISPLAY_NAME "Tamsel's Velkar"
#define VELKAR_ABOUT_CAPTION "About"
#define VELKAR_ABOUT_LEAD "Send comments to "

#endif
