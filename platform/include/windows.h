// The Windows CE API as this platform provides it, for the program: every
// platform library keeps its declarations in its own folder, and this header
// gathers them all, as on the device. The platform's own sources include the
// exact headers they need, never this one.
#pragma once

#include <windef.h>
#include <winbase.h>
#include <winresource.h>
#include <winreg.h>
#include <winuser.h>
#include <wingdi.h>
