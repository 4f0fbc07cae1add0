// Kernel handles: every HANDLE the kernel hands out is a KernelObject that was
// registered here, so a stale or foreign handle is recognised and refused.
#pragma once

#include <windef.h>

struct KernelObject {
    virtual ~KernelObject() = default;
};

// Takes ownership; the handle stays valid until CloseHandle.
HANDLE RegisterKernelObject(KernelObject* object);
// The live object behind a handle, of the wanted kind, or null.
KernelObject* LookupKernelObject(HANDLE handle);
template <typename T>
T* LookupKernelObjectAs(HANDLE handle)
{
    return dynamic_cast<T*>(LookupKernelObject(handle));
}

// The last error for an errno value of a failed file-system call.
DWORD ErrorFromErrno(int error);
