// The one gate to chmlib: a book is handed to it only after the container's
// check, and every retrieval is checked against the object's section first,
// so no caller can read what the check refuses.
#pragma once

#include <windows.h>

#include <chm_lib.h>

#include "ChmGuard.h"

class GuardedChm {
public:
    GuardedChm() = default;
    ~GuardedChm() { Close(); }
    GuardedChm(const GuardedChm&) = delete;
    GuardedChm& operator=(const GuardedChm&) = delete;

    // Closes what was open, then checks the book at the device path
    // (CheckContainer) and only then opens it with chmlib. False, and
    // closed, when the check or chmlib refuses it.
    bool Open(LPCWSTR bookPath);
    void Close();

    // chmlib's handle; null while closed.
    chmFile* Handle() const { return chm; }
    // What the check found; empty while closed.
    const ContainerLimits& Limits() const { return limits; }

    // chmlib's lookup of an object path; false when closed or not found.
    bool Resolve(const char* path, chmUnitInfo* unit) const;
    // Up to `count` bytes of the object from `at` (fewer past its end);
    // returns how many were read, 0 when closed or when ObjectFits refuses
    // the bytes the read would take.
    LONGINT64 Retrieve(const chmUnitInfo& unit, BYTE* out, ULONGLONG at, size_t count) const;
    // chmlib's enumeration of every object; nothing while closed.
    void Enumerate(CHM_ENUMERATOR callback, void* context) const;

private:
    chmFile* chm = nullptr;
    ContainerLimits limits{};
};
