#include "PageDrive.h"

#include <Book.h>
#include <Charset.h>
#include <PageWindow.h>
#include <lwdevice.h>
#include <lwhtmlview.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace pagedrive {
namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kDefaultCodePage = 1252;
constexpr size_t kHeadBytes = 1024; // where a page declares its charset
constexpr int kTabSteps = 8;        // links walked by Tab

std::string& Root()
{
    static std::string root;
    return root;
}

std::string& Scratch()
{
    static std::string scratch;
    return scratch;
}

double Since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Delivers what is queued now, not what that posts in turn.
void Deliver()
{
    constexpr UINT kSentinel = WM_APP + 0x3A1;
    PostMessageW(nullptr, kSentinel, 0, 0);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && message.message != kSentinel) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Key(HWND viewer, UINT key)
{
    SendMessageW(viewer, WM_KEYDOWN, key, 1);
    SendMessageW(viewer, WM_KEYUP, key, 0xC0000001);
}

} // namespace

void Start()
{
    if (!Scratch().empty())
        return;
    char folder[] = "/tmp/leafwise-pages-XXXXXX";
    if (!mkdtemp(folder))
        abort();
    std::string temp = std::string(folder) + "/temp";
    mkdir(temp.c_str(), 0700);
    setenv("LEAFWISE_ROOT", folder, 1);
    setenv("LEAFWISE_TEMP", temp.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Root() = folder;
    Scratch() = temp;
    LwDeviceStart();
}

const std::string& RootHost()
{
    return Root();
}

const std::string& ScratchHost()
{
    return Scratch();
}

void WritePage(const std::u16string& page, const Pictures& pictures)
{
    ClearFolder(u"\\Temp\\");
    std::ofstream out(Scratch() + "/page.htm", std::ios::binary);
    out.write("\xFF\xFE", 2);
    out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size() * 2));
    for (const auto& [name, bytes] : pictures)
        std::ofstream(Scratch() + "/" + name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::u16string DecodePage(const uint8_t* data, size_t size)
{
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        return std::u16string(reinterpret_cast<const char16_t*>(data + 2), (size - 2) / 2);
    size_t mark = 0;
    UINT codePage = DeclaredCodePage(data, std::min(size, kHeadBytes), &mark);
    if (!codePage)
        codePage = kDefaultCodePage;
    auto bytes = reinterpret_cast<LPCSTR>(data + mark);
    int length = static_cast<int>(std::min<size_t>(size - mark, INT32_MAX / 2));
    std::u16string text(static_cast<size_t>(length), u'\0');
    int units = length ? MultiByteToWideChar(codePage, 0, bytes, length, text.data(), length) : 0;
    text.resize(static_cast<size_t>(std::max(units, 0)));
    return text;
}

Outcome ShowPage(const Options& options)
{
    Outcome outcome;
    Clock::time_point start = Clock::now();
    PageWindow page;
    outcome.created = page.Create(options.book, GetModuleHandleW(nullptr), u"\\Temp");
    if (!outcome.created)
        return outcome;
    page.LoadPage(options.folder.c_str(), options.file.c_str());
    page.Show();
    Deliver();
    LwDevicePixel(0, 0); // paints the device
    outcome.shownMs = Since(start);
    HWND viewer = page.viewer;
    outcome.settled = LwDevicePumpUntil([&] { return LwHtmlViewSettled(viewer) != FALSE; }, options.settleLimitMs);
    outcome.settledMs = Since(start);
    if (options.exercise) {
        Key(viewer, VK_END);
        LwDevicePixel(0, 0);
        Key(viewer, VK_HOME);
        LwDevicePixel(0, 0);
        for (int k = 0; k < kTabSteps; ++k)
            Key(viewer, VK_TAB);
        Deliver();
    }
    Key(viewer, VK_NEXT);
    int length = static_cast<int>(SendMessageW(viewer, WM_GETTEXTLENGTH, 0, 0));
    outcome.text.resize(static_cast<size_t>(length) + 1);
    outcome.text.resize(static_cast<size_t>(
        SendMessageW(viewer, WM_GETTEXT, outcome.text.size(), reinterpret_cast<LPARAM>(outcome.text.data()))));
    SendMessageW(page.window, WM_COMMAND, IDCANCEL, 0);
    outcome.answers = !IsWindow(page.window);
    Deliver();
    return outcome;
}

} // namespace pagedrive
