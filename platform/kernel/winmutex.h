// Named mutexes of the device, shared between processes of the same user.
//
// A named mutex is a lock file in the runtime folder, held with flock by every
// process that has a handle open to it; the kernel drops the lock when a process
// ends, so a crashed instance never leaves a mutex behind. Ownership is kept per
// handle within the process only: there is no waiting on a mutex (no
// WaitForSingleObject), which the program never does.
#pragma once

#include <windef.h>
#include <winbase.h>
#include <winerror.h>

#define ERROR_NOT_OWNER 288L

// name NULL or empty: a mutex of this process alone. Otherwise any name of at most
// MAX_PATH units without a backslash (Windows' namespace separator):
// ERROR_INVALID_NAME for those, ERROR_FILENAME_EXCED_RANGE for longer ones.
// Returns a handle, with the last error ERROR_ALREADY_EXISTS when a handle to
// the name was open already (in any live process, this one included), else 0.
// initialOwner makes the calling thread the owner of a mutex it created anew.
// Security attributes are ignored. CloseHandle closes it.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
// FALSE with ERROR_NOT_OWNER unless the calling thread owns the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// ---- platform's own ---------------------------------------------------------------
// The host folder of the user's named objects (mutex lock files; other libraries
// may keep their rendezvous files there too): $LEAFWISE_RUNTIME, else
// $XDG_RUNTIME_DIR/<own>-run, else /tmp/<own>-run-<uid> (<own>: see winbase.h). Created with mode
// 0700 and refused when it is a link or not the user's. Writes it zero-terminated
// and returns its length, or 0 with the last error set (ERROR_ACCESS_DENIED,
// ERROR_INSUFFICIENT_BUFFER, ...).
DWORD GetRuntimeFolder(LPSTR folder, DWORD size);
