// The HTML viewer as tests, tools and benchmarks see it: not part of the
// device API (the device's control has no such call); free of Qt.
#pragma once

#include <windef.h>

// TRUE when the viewer has laid out the whole page it shows and has asked for
// every picture the layout reached (answered or not): the page is settled and
// nothing more happens until the parent answers or the reader acts. TRUE for
// an empty viewer; FALSE for a window that is not a viewer.
BOOL LwHtmlViewSettled(HWND viewer);
