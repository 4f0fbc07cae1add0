// The platform's main: starts Qt, builds the program's instance and command line,
// and hands over to the program's WinMain.
#include <winuser.h>

#include "window.h"

#include <QApplication>
#include <QFontDatabase>

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

} // namespace

int main(int argc, char** argv)
{
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
