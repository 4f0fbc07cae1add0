// The program's entry function.
#include "ReaderApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand)
{
    ReaderApp app;
    if (!app.Init(instance))
        return 0;  // another instance runs, or start-up failed: nothing is shown
    return app.Run(commandLine, showCommand);
}
