// The platform's main: starts Qt, builds the program's instance and command line,
// and hands over to the program's WinMain. --help and --version are answered
// before anything starts, from the program's version resource: a desktop user
// expects them of every program, and no device program is ever given them.
#include <winuser.h>

#include "window.h"

#include <lwsettings.h>

#include <QApplication>
#include <QFontDatabase>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

std::u16string Widen(const char* text)
{
    return QString::fromLocal8Bit(text).toStdU16String();
}

// A host path becomes the device path of the same file, so the program sees
// what the shell of the device would hand it.
std::u16string Argument(const char* argument)
{
    struct stat info;
    bool hostPath = stat(argument, &info) == 0 || std::string(argument).find('/') != std::string::npos;
    if (hostPath) {
        WCHAR device[MAX_PATH];
        if (HostToDevicePath(argument, device, MAX_PATH))
            return device;
    }
    return Widen(argument);
}

std::string Utf8(const std::u16string& text)
{
    return QString::fromStdU16String(text).toStdString();
}

// The platform's part of --help: its own options and settings.
const char kPlatformHelp[] =
    "\n"
    "Options:\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the name and version and exit\n"
    "\n"
    "Environment:\n"
    "  " LW_SETTING("ROOT") "        host folder that is the device's \\ (default /)\n"
    "  " LW_SETTING("TEMP") "        host folder that is the device's \\Temp (default: a private\n"
    "                       folder in $XDG_RUNTIME_DIR)\n"
    "  " LW_SETTING("CODEPAGE") "    the device's ANSI code page, a Windows code page number\n"
    "  " LW_SETTING("TRACE") "       file that receives one line per delivered message\n"
    "  " LW_SETTING("TRACE_ONLY") "  message names, separated by commas, that the trace keeps\n"
    "  " LW_SETTING("RUNTIME") "     private folder of named mutexes and the instance socket\n";

// Answers -h, --help or --version among the arguments (before a "--"); false
// when there is none. The program's name, version and usage come from its
// version resource: ProductName, ProductVersion and Comments.
bool AnswerInformationOption(int argc, char** argv, int* exitCode)
{
    const char* option = nullptr;
    for (int i = 1; i < argc && !option && std::strcmp(argv[i], "--") != 0; ++i)
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "--version"))
            option = argv[i];
    if (!option)
        return false;
    VersionStrings version;
    HMODULE module = GetModuleHandleW(nullptr);
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION))
        ParseVersionStrings(LockResource(LoadResource(module, found)), SizeofResource(module, found), &version);
    auto value = [&](const char16_t* name) {
        for (const auto& [key, text] : version.values)
            if (key == name)
                return Utf8(text);
        return std::string();
    };
    std::string name = value(u"ProductName");
    if (name.empty())
        name = program_invocation_short_name;
    if (!std::strcmp(option, "--version")) {
        std::printf("%s %s\n", name.c_str(), value(u"ProductVersion").c_str());
    } else {
        std::string usage = value(u"Comments");
        if (usage.empty())
            usage = std::string("Usage: ") + program_invocation_short_name + " [ARGUMENT]...";
        std::printf("%s\n%s", usage.c_str(), kPlatformHelp);
    }
    *exitCode = std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (int exitCode = 0; AnswerInformationOption(argc, argv, &exitCode))
        return exitCode;
    lwuser::UseReentrantEventLoop();
    QApplication application(argc, argv); // takes Qt's own options out of argv
    // A device has its fonts loaded before any program starts; here the first
    // window that measures text would wait ~10 ms for the system's fonts to be
    // listed. They are listed beside the program's own start instead (Qt's
    // font database is thread-safe), and the listing ends before Qt does.
    std::thread listFonts([] { QFontDatabase::families(); });
    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += u' ';
        commandLine += Argument(argv[i]);
    }
    int result = WinMain(GetModuleHandleW(nullptr), nullptr, commandLine.data(), SW_SHOW);
    listFonts.join();
    return result;
}
