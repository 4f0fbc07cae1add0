// The charset a text read from a book declares for itself.
#pragma once

#include <windows.h>

// The code page that the head of a page or contents file declares: UTF-8 for
// a UTF-8 byte-order mark (whose length goes to `markLength`, else 0), else
// the charset of the first meta tag in its first 1,024 bytes that declares one,
// by charset= or by http-equiv="Content-Type" and content= (names in any case,
// values in double, single or no quotes). 0 when the text declares nothing,
// or names a charset that the platform does not convert.
UINT DeclaredCodePage(const BYTE* head, size_t length, size_t* markLength);
// The same, with where the meta tag's charset name stands in the head
// (`nameLength` 0 when no meta tag declares one), also when the platform
// does not convert that charset.
UINT DeclaredCodePage(const BYTE* head, size_t length, size_t* markLength, size_t* nameAt, size_t* nameLength);
