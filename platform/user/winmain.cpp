// The platform's main: starts Qt, builds the program's instance and command line,
// and hands over to the program's WinMain.
#include <winuser.h>

#include "window.h"

#include <QApplication>

#include <string>
#include <sys/stat.h>

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

} // namespace

int main(int argc, char** argv)
{
    lwuser::UseReentrantEventLoop();
    QApplication application(argc, argv); // takes Qt's own options out of argv
    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += u' ';
        commandLine += Argument(argv[i]);
    }
    return WinMain(GetModuleHandleW(nullptr), nullptr, commandLine.data(), SW_SHOW);
}
