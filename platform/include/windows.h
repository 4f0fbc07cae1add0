// The Windows CE API as this platform provides it. Each platform library keeps
// its declarations in its own folder; this header gathers them, as on the device.
#pragma once

#include <windef.h>
#include <winbase.h>
#if __has_include(<winresource.h>)
#include <winresource.h>
#endif
#if __has_include(<winreg.h>)
#include <winreg.h>
#endif
#if __has_include(<winuser.h>)
#include <winuser.h>
#endif
#if __has_include(<wingdi.h>)
#include <wingdi.h>
#endif
