// The settings sheet, opened by the settings menu item.
#include "../hostlink/hostlink.h"

void RunSettingsSheet() {}
