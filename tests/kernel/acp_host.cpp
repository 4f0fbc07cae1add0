// Prints the ANSI code page that this process's environment gives, then the
// one GetLocaleInfoW gives each LCID named on the command line ("fails" when
// it gives none).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    printf("%u", GetACP());
    for (int i = 1; i < argc; ++i) {
        WCHAR digits[8];
        int n = GetLocaleInfoW((LCID)strtoul(argv[i], nullptr, 0), LOCALE_IDEFAULTANSICODEPAGE, digits, 8);
        printf(" ");
        for (int k = 0; k < n - 1; ++k)
            putchar((char)digits[k]);
        if (n == 0)
            printf("fails");
    }
    printf("\n");
    return 0;
}
