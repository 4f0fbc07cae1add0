// Windows of other running instances: every process that shows windows answers
// on a local socket in the runtime folder ("window-<pid>"), so FindWindowW and
// SetForegroundWindow reach across processes. Private to platform/user.
#pragma once

#include <winuser.h>

namespace lwuser {

// Starts this process's answering socket (once; after the first window exists).
void StartRemoteServer();
// Asks every other instance for a top-level window of that class and title (NULL:
// any); true with the instance's process id and its handle for the window.
bool RemoteFindWindow(LPCWSTR className, LPCWSTR title, long long* pid, unsigned long long* handle);
// Asks the instance to bring its window (and, withOwned, the windows it owns) forward.
bool RemoteSetForeground(long long pid, unsigned long long handle, bool withOwned);
// The local search both sides use: top-level windows, class and title compared
// without regard to case.
HWND FindLocalWindow(LPCWSTR className, LPCWSTR title);

} // namespace lwuser
