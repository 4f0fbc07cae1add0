// What the program's tests share: a runtime folder of each test's own (so the
// single-instance mutex and window search never meet another test or a running
// Leafwise), the device started, and the program's resources at hand.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <lwdevice.h>

#include "../resource/resbuilder.h"
#include "../support/modal.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace apptest {

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = "/tmp/leafwise-app-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        runtime = pattern;
        setenv("LEAFWISE_RUNTIME", runtime.c_str(), 1);
        LwDeviceStart();
        lwtest::Drain();
    }
    void TearDown() override
    {
        lwtest::Drain();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        for (HINSTANCE instance : registeredFor)
            UnregisterClassW(u"Leafwise", instance);
        for (HMODULE module : modules)
            FreeResourceImage(module);
        std::error_code ignored;
        std::filesystem::remove_all(runtime, ignored);
    }

    // A copy of one of the program's resources.
    static std::vector<BYTE> ProgramResource(WORD type, WORD id)
    {
        HMODULE program = GetModuleHandleW(nullptr);
        HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
        if (!found)
            return {};
        auto* data = static_cast<const BYTE*>(LockResource(LoadResource(program, found)));
        return std::vector<BYTE>(data, data + SizeofResource(program, found));
    }
    // A module holding only the listed resources of the program: {type, id} pairs.
    HMODULE ModuleWith(std::initializer_list<std::pair<WORD, WORD>> resources)
    {
        ResImage image;
        for (auto [type, id] : resources)
            image.Add(type, id, ProgramResource(type, id));
        HMODULE module = LoadResourceImage(image.image.data.data(), image.image.data.size());
        modules.push_back(module);
        return module;
    }

    std::string runtime;
    std::vector<HINSTANCE> registeredFor;   // instances whose "Leafwise" class TearDown removes
    std::vector<HMODULE> modules;
};

// Where the client area's (x, y) is on the device's screen.
inline POINT OnScreen(HWND window, int x, int y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    return p;
}

inline COLORREF Rgb(uint32_t argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

} // namespace apptest
