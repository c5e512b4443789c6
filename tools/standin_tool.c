/* A stand-in for one of the tool programs that travel with a projector
 * (print, launch, variable store, desktop background). It only says who it is
 * and what it was given: in a message box, or on standard output with --dump. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#ifndef VS_TOOL_NAME
#define VS_TOOL_NAME "tool"
#endif

int main(int argc, char** argv) {
    char text[4096];
    int dump = 0;
    size_t used = (size_t)snprintf(text, sizeof text, "VexelSCREEN %s (stand-in)\nArguments:", VS_TOOL_NAME);
    for (int i = 1; i < argc && used < sizeof text; ++i) {
        if (strcmp(argv[i], "--dump") == 0) {
            dump = 1;
            continue;
        }
        used += (size_t)snprintf(text + used, sizeof text - used, " [%s]", argv[i]);
    }
    if (dump) {
        HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
        if ((h == NULL || h == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) freopen("CONOUT$", "w", stdout);
        printf("%s\n", text);
    } else {
        MessageBoxA(NULL, text, "VexelSCREEN " VS_TOOL_NAME, MB_OK | MB_ICONINFORMATION);
    }
    return 0;
}
