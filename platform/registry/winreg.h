// The device's registry, kept on Linux in one text hive per user:
//   $XDG_CONFIG_HOME/<own>/registry.reg   (default ~/.config/<own>/; <own> is
//   the settings' prefix in lower case without its '_', see winbase.h)
// UTF-8, one "[ROOT\path]" section per key and one "name"=data line per value
// ("@" is the default value), so a person can read and mend it.
//
// What the calls honour of Windows:
// - Key and value names compare without regard to case; the case in which a
//   name was first written is the case kept.
// - Every write has reached the disk when the call returns. It is made under a
// lock shared by all processes of the user, after re-reading the hive, and
// lands through a temporary file and a rename, so two processes that write
// at once both keep their values and a crash leaves the old or the new hive,
// never half of one. A hive that is a link stays one: the file it leads to
// is replaced the same way, beside itself.
// - A hive that cannot be parsed is moved aside (registry.reg.damaged-<time>),
//   never overwritten or deleted; a line on stderr names where it went, and the
//   registry starts empty.
// - A hive file without its owner's write permission is read-only: writes fail
//   with ERROR_ACCESS_DENIED and the file is left as it is.
// - Access masks, security attributes, classes and options are accepted and
//   not enforced, as on the device.
//
// Not supported: deleting keys or values, enumeration, notifications, volatile
// keys. Key names may not hold control characters, start with "\" or contain
// an empty component (ERROR_BAD_PATHNAME); components are at most 255 units.
//
// Besides its own contract the registry tells the desktop about file types:
// when HKEY_CLASSES_ROOT holds an extension key (".ext") whose default value
// names a class whose "Shell\Open\Command" has a default value, a desktop
// entry for that command and the extension's MIME types is written under
// $XDG_DATA_HOME/applications, made the default application for them in
// $XDG_CONFIG_HOME/mimeapps.list, and update-desktop-database is run when it
// is installed. Only extensions told with RegisterDesktopFileType take part.
#pragma once

#include <windef.h>
#include <winbase.h>

typedef struct RegistryKey* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x0

#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_CANTREAD
#define ERROR_CANTREAD 1012L
#endif
#ifndef ERROR_CANTWRITE
#define ERROR_CANTWRITE 1013L
#endif

#ifndef ERROR_NO_SYSTEM_RESOURCES
#define ERROR_NO_SYSTEM_RESOURCES 1450L
#endif

// Largest value the hive keeps; larger data fails with ERROR_INVALID_PARAMETER.
#define LW_REG_MAX_DATA (1024 * 1024)
// Longest value name, as on Windows; longer ones fail with ERROR_INVALID_PARAMETER.
#define LW_REG_MAX_VALUE_NAME 16383

// Creates the key and any missing parent keys, or opens it when it exists.
// A null or empty sub-key opens a new handle to `key` itself. *disposition
// (optional) becomes REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
// Fails with ERROR_INVALID_HANDLE (unknown or closed key), ERROR_INVALID_PARAMETER
// (null result), ERROR_BAD_PATHNAME, ERROR_ACCESS_DENIED or ERROR_CANTWRITE
// (a new key could not be saved), ERROR_CANTREAD (the hive could not be read);
// *result is then null.
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM desired,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);

// Opens an existing key. ERROR_FILE_NOT_FOUND when it does not exist; otherwise
// the errors of RegCreateKeyExW. *result is null on failure.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);

// Writes a value (a null or empty name is the key's default value) with exactly
// `size` bytes of data; the data is not checked against the type. If the key was
// lost from the hive meanwhile (the file was removed or set aside), it is
// created again. Fails, changing nothing, with ERROR_INVALID_HANDLE,
// ERROR_INVALID_PARAMETER (null data with a non-zero size, data over
// LW_REG_MAX_DATA, a name over LW_REG_MAX_VALUE_NAME units),
// ERROR_NO_SYSTEM_RESOURCES (the hive would outgrow what it may hold: 16 MB in
// its text form), ERROR_ACCESS_DENIED (read-only hive, folder not writable),
// ERROR_CANTWRITE, ERROR_CANTREAD.
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

// Reads a value. `type` and `size` are optional; with `data` null (a size probe)
// *size becomes the data's byte count. With a buffer of *size bytes that is too
// small, *size becomes the byte count needed, *type is set, the buffer is left
// as it was and the call fails with ERROR_MORE_DATA. Other failures:
// ERROR_FILE_NOT_FOUND (no such value; *type and *size untouched),
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER (data without size), ERROR_CANTREAD.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);

// Frees a handle. Closing a root key succeeds and does nothing; an unknown or
// already closed handle gives ERROR_INVALID_HANDLE.
LONG RegCloseKey(HKEY key);

// ---- platform's own ---------------------------------------------------------------
// Tells the desktop what the device's registry does not hold about a file type,
// for the desktop side of associations (above): `extension` (".ext": letters,
// digits, '-', '_', '+', '~'), `mimeTypes` (names separated by ';', the
// registered type first; may be empty) and `entryName`, the desktop entry to
// write for it (letters, digits, '-', '_', '.', without ".desktop"). Where the
// desktop's MIME database (shared-mime-info) knows the extension, its type
// leads the list. `installedEntry` (NULL or empty for none) names the entry an
// installation of the program brings: when the first entry of that name in the
// desktop's application folders ($XDG_DATA_HOME, then $XDG_DATA_DIRS) starts
// the very program of the association's command (its Exec's program, looked up
// on PATH, is the same file), that entry is made the default and none of our
// own is written, so the menus never list the program twice. Telling an
// extension again replaces what was told; it holds for the process's life.
// FALSE with ERROR_INVALID_PARAMETER, changing nothing, for a null or
// malformed argument or more than 16 types.
BOOL RegisterDesktopFileType(LPCWSTR extension, LPCWSTR mimeTypes, LPCWSTR entryName, LPCWSTR installedEntry);
