#pragma once

// Registers the compiled-in images and theme with Qt's resource system. The
// resources live in a static library, whose registration object the linker
// would otherwise drop; safe to call more than once.
void initPanelResources();
