// Prints the ANSI code page that this process's environment gives.
#include <windows.h>

#include <cstdio>

int main()
{
    printf("%u\n", GetACP());
    return 0;
}
