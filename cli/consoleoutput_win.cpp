#include "cli/consoleoutput.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// What the console was set to before, put back at the end; one per process.
DWORD g_savedMode = 0;
UINT g_savedCodePage = 0;
std::atomic<bool> g_changed{ false }; // the settings above are to be put back

} // namespace

ConsoleOutput::ConsoleOutput()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);

    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode))
        return;
    g_savedMode = mode;
    g_savedCodePage = GetConsoleOutputCP();
    g_changed = true;
    SetConsoleOutputCP(CP_UTF8);
    m_kind = SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? Terminal
                                                                            : PlainConsole;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(out, &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0)
            m_columns = width;
    }
}

ConsoleOutput::~ConsoleOutput()
{
    restore();
}

void ConsoleOutput::restore()
{
    if (!g_changed.exchange(false))
        return;
    SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), g_savedMode);
    SetConsoleOutputCP(g_savedCodePage);
}
