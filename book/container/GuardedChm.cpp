#include "GuardedChm.h"

#include <algorithm>

bool GuardedChm::Open(LPCWSTR bookPath)
{
    Close();
    char hostPath[4096];
    if (!CheckContainer(bookPath, &limits) || !DeviceToHostPath(bookPath, hostPath, sizeof hostPath)) {
        limits = {};
        return false;
    }
    chm = chm_open(hostPath);
    if (!chm)
        limits = {};
    return chm != nullptr;
}

void GuardedChm::Close()
{
    if (chm) {
        chm_close(chm);
        chm = nullptr;
    }
    limits = {};
}

bool GuardedChm::Resolve(const char* path, chmUnitInfo* unit) const
{
    return chm && chm_resolve_object(chm, path, unit) != CHM_RESOLVE_FAILURE;
}

LONGINT64 GuardedChm::Retrieve(const chmUnitInfo& unit, BYTE* out, ULONGLONG at, size_t count) const
{
    if (!chm || at >= unit.length)
        return 0;
    // chmlib cuts a read at the object's end; the check is of what it will read.
    ULONGLONG wanted = std::min<ULONGLONG>(count, unit.length - at);
    if (wanted == 0 || !ObjectFits(limits, unit.space, unit.start + at, wanted))
        return 0;
    return chm_retrieve_object(chm, const_cast<chmUnitInfo*>(&unit), out, at, (LONGINT64)wanted);
}

void GuardedChm::Enumerate(CHM_ENUMERATOR callback, void* context) const
{
    if (chm)
        chm_enumerate(chm, CHM_ENUMERATE_ALL, callback, context);
}
