// A whole book written out as a plain folder of files.
#pragma once

#include "Book.h"

#include <string>

struct ExportReport {
    size_t filesWritten = 0;  // the objects and the contents page
    ULONGLONG bytesWritten = 0;
    // Objects that could not be read whole (damage); nothing is written for them.
    size_t unreadable = 0;
    std::string firstUnreadable;  // its path in the book
    // Why the export stopped (ERROR_SUCCESS when it did not), and the file or
    // folder it could not make, relative to the folder (empty: the folder itself).
    DWORD error = ERROR_SUCCESS;
    std::u16string failedName;
    std::u16string contentsPage;  // the name of the contents page written
};

// Called as objects are written: how many so far, and of how many.
typedef void (*ExportProgress)(size_t done, size_t total, void* context);

// Writes every object of a book (as LoadContents left it) into `folder`,
// which must be missing (it is made, one level) or empty
// (ERROR_DIR_NOT_EMPTY), each at its own path below it, folders made as
// needed; and a contents page, index.html, whose nested lists link the
// contents entries to the files (an entry without one is plain text).
// Pages (.htm, .html) are converted to UTF-8 from the charset they are read
// in, their declared charset rewritten as utf-8 (one that declares none
// starts with a UTF-8 byte-order mark instead). The container's own objects
// (#..., $...) are left out.
//
// Nothing is written outside the folder, whatever the names hold: the folder
// is opened once and everything is made inside it by name; "." and ".."
// components are resolved as a browser resolves them, never above the
// folder; "\" separates like "/"; a name that is not UTF-8 is read in the
// book's code page; control characters become "_"; a name too long for the
// disk is shortened. No file is ever replaced: a name that is taken (two
// names that the disk holds for one) gets "~2", "~3", ... before its
// extension. A file that cannot be written whole is removed, and the export
// stops there.
ExportReport ExportBook(Book& book, LPCWSTR folder, ExportProgress progress = nullptr, void* context = nullptr);
