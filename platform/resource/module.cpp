// The program's module: an index over the linked .res image, and the calls that
// find resources and strings in it.
#include <winresource.h>

#include <winbase.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "resimage.h"

// The build links these into the program (see EmbedResourceImage.cmake). Weak, so
// that a program without resources (a test) still links: the address is then null.
extern "C" {
extern const unsigned char lw_resource_image[] __attribute__((weak));
extern const unsigned long lw_resource_image_size __attribute__((weak));
}

namespace {

struct Module {
    std::vector<BYTE> storage;   // owned copy of a loaded image; empty for the program's
    std::vector<ResourceRecord> records;
};

std::mutex modulesLock;

// Modules made by LoadResourceImage; the program's module lives apart and forever.
std::vector<std::unique_ptr<Module>>& LoadedModules()
{
    static std::vector<std::unique_ptr<Module>> modules;
    return modules;
}

Module& ProgramModule()
{
    static Module program;
    static std::once_flag indexed;
    std::call_once(indexed, [] {
        if (&lw_resource_image_size && lw_resource_image)
            IndexResourceImage(lw_resource_image, lw_resource_image_size, &program.records);
    });
    return program;
}

// The module behind a handle (NULL: the program's), or null for a foreign handle.
Module* ModuleFromHandle(HMODULE handle)
{
    Module& program = ProgramModule();
    if (!handle || handle == reinterpret_cast<HMODULE>(&program))
        return &program;
    std::lock_guard<std::mutex> guard(modulesLock);
    for (auto& module : LoadedModules())
        if (reinterpret_cast<HMODULE>(module.get()) == handle)
            return module.get();
    return nullptr;
}

// The record behind a resource handle, only when it is one of this module's.
const ResourceRecord* RecordFromHandle(const Module& module, HRSRC handle)
{
    auto* record = reinterpret_cast<const ResourceRecord*>(handle);
    const ResourceRecord* first = module.records.data();
    const ResourceRecord* end = first + module.records.size();
    if (!record || record < first || record >= end)
        return nullptr;
    // A pointer into the middle of a record is not a handle we gave out.
    if ((reinterpret_cast<uintptr_t>(record) - reinterpret_cast<uintptr_t>(first)) % sizeof(ResourceRecord))
        return nullptr;
    return record;
}

const ResourceRecord* FindRecord(const Module& module, WORD type, WORD name, bool* typeSeen)
{
    *typeSeen = false;
    for (const ResourceRecord& record : module.records) {
        if (record.type != type)
            continue;
        *typeSeen = true;
        if (record.name == name)
            return &record;
    }
    return nullptr;
}

}  // namespace

HMODULE GetModuleHandleW(LPCWSTR)
{
    return reinterpret_cast<HMODULE>(&ProgramModule());
}

HRSRC FindResourceW(HMODULE handle, LPCWSTR name, LPCWSTR type)
{
    Module* module = ModuleFromHandle(handle);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    bool typeSeen = false;
    const ResourceRecord* record = FindRecord(*module, LOWORD(type), LOWORD(name), &typeSeen);
    if (!IS_INTRESOURCE(name))
        record = nullptr;  // string names are never stored; only the type was looked for
    if (!record) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResourceRecord*>(record));
}

HGLOBAL LoadResource(HMODULE handle, HRSRC resource)
{
    Module* module = ModuleFromHandle(handle);
    const ResourceRecord* record = module ? RecordFromHandle(*module, resource) : nullptr;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(record->data);
}

LPVOID LockResource(HGLOBAL data)
{
    return data;
}

DWORD SizeofResource(HMODULE handle, HRSRC resource)
{
    Module* module = ModuleFromHandle(handle);
    const ResourceRecord* record = module ? RecordFromHandle(*module, resource) : nullptr;
    if (!record) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return record->size;
}

BOOL FreeResource(HGLOBAL)
{
    return FALSE;  // what Windows returns: there is nothing to free
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferSize)
{
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (bufferSize > 0)
        buffer[0] = 0;
    if (bufferSize < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Module* module = ModuleFromHandle(instance);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const WCHAR* text = nullptr;
    size_t length = 0;
    bool typeSeen = false;
    // Ids above 0xFFEF would need block 4096, which a WORD name cannot hold.
    const ResourceRecord* block =
        id <= 0xFFFF ? FindRecord(*module, 6, static_cast<WORD>(id / 16 + 1), &typeSeen) : nullptr;
    if (!block || !FindStringInBlock(block->data, block->size, id % 16, &text, &length)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (bufferSize == 0) {
        // The caller asked for a pointer into the resource itself.
        std::memcpy(buffer, &text, sizeof text);
        return static_cast<int>(length);
    }
    size_t copied = std::min(length, static_cast<size_t>(bufferSize - 1));
    std::memcpy(buffer, text, copied * sizeof(WCHAR));
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

HMODULE LoadResourceImage(const void* image, size_t size)
{
    if (!image && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto module = std::make_unique<Module>();
    if (size)
        module->storage.assign(static_cast<const BYTE*>(image), static_cast<const BYTE*>(image) + size);
    IndexResourceImage(module->storage.data(), module->storage.size(), &module->records);
    HMODULE handle = reinterpret_cast<HMODULE>(module.get());
    std::lock_guard<std::mutex> guard(modulesLock);
    LoadedModules().push_back(std::move(module));
    return handle;
}

BOOL FreeResourceImage(HMODULE handle)
{
    std::lock_guard<std::mutex> guard(modulesLock);
    auto& modules = LoadedModules();
    for (auto it = modules.begin(); it != modules.end(); ++it) {
        if (reinterpret_cast<HMODULE>(it->get()) == handle) {
            modules.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

size_t ResourceExtent(const void* data)
{
    auto extentIn = [data](const Module& module) -> size_t {
        auto* p = static_cast<const BYTE*>(data);
        for (const ResourceRecord& record : module.records)
            if (p >= record.data && p < record.data + record.size)
                return static_cast<size_t>(record.data + record.size - p);
        return 0;
    };
    if (!data)
        return 0;
    if (size_t extent = extentIn(ProgramModule()))
        return extent;
    std::lock_guard<std::mutex> guard(modulesLock);
    for (auto& module : LoadedModules())
        if (size_t extent = extentIn(*module))
            return extent;
    return 0;
}
