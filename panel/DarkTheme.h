#pragma once

#include <QString>

// The dark theme shared by the main window and the settings dialog. The text
// lives once, in the darkTheme.qss resource.
QString darkThemeStyleSheet();
