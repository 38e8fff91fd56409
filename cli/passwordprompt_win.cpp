#include "cli/passwordprompt.h"

#include "cli/consoleoutput.h"

#include <QByteArray>

#include <atomic>
#include <iterator>

#include <windows.h>

namespace {

HANDLE g_input = INVALID_HANDLE_VALUE;
HANDLE g_output = INVALID_HANDLE_VALUE;
DWORD g_savedMode = 0;
std::atomic<bool> g_interrupted{ false };

// Ctrl-C at the prompt must not leave the console without echo, nor in the
// code page and output mode the program set (ExitProcess runs no
// destructor). The handler runs on a thread of its own that the system
// starts: echo back on, the line ended, the console's settings back, and the
// status a POSIX shell reports for Ctrl-C.
BOOL WINAPI restoreAndExit(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    g_interrupted = true;
    SetConsoleMode(g_input, g_savedMode);
    DWORD written = 0;
    WriteConsoleW(g_output, L"\r\n", 2, &written, nullptr);
    ConsoleOutput::restore();
    ExitProcess(130);
}

void writeText(const char *text)
{
    const QString wide = QString::fromLatin1(text);
    DWORD written = 0;
    WriteConsoleW(g_output, reinterpret_cast<const wchar_t *>(wide.utf16()), DWORD(wide.size()),
                  &written, nullptr);
}

} // namespace

PasswordPrompt::Outcome PasswordPrompt::ask(QString *password)
{
    // The console itself, as /dev/tty on POSIX: a prompt never goes into a
    // pipe or a file, whatever the standard handles are.
    g_input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    g_output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (g_input == INVALID_HANDLE_VALUE || g_output == INVALID_HANDLE_VALUE
        || !GetConsoleMode(g_input, &g_savedMode)) {
        if (g_input != INVALID_HANDLE_VALUE)
            CloseHandle(g_input);
        if (g_output != INVALID_HANDLE_VALUE)
            CloseHandle(g_output);
        g_input = g_output = INVALID_HANDLE_VALUE;
        return NoTerminal;
    }

    SetConsoleCtrlHandler(restoreAndExit, TRUE);
    SetConsoleMode(g_input,
                   (g_savedMode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT
                           | ENABLE_PROCESSED_INPUT);
    // Only now the prompt: whatever is typed once it shows is not echoed.
    writeText(kText);

    // A line longer than the buffer comes in several reads.
    QString line;
    bool ended = false;
    wchar_t buffer[256];
    while (!ended) {
        DWORD read = 0;
        if (!ReadConsoleW(g_input, buffer, DWORD(std::size(buffer)), &read, nullptr) || read == 0)
            break;
        line.append(QString::fromWCharArray(buffer, int(read)));
        SecureZeroMemory(buffer, sizeof buffer);
        const int end = line.indexOf(QLatin1Char('\n'));
        if (end >= 0) {
            line.truncate(end);
            ended = true;
        }
    }
    // Ctrl-C ends the read, and its handler runs on another thread, maybe a
    // moment later: give it that moment to end the program.
    for (int i = 0; !ended && i < 100 && !g_interrupted; ++i)
        Sleep(10);
    if (g_interrupted)
        Sleep(INFINITE);

    SetConsoleMode(g_input, g_savedMode);
    SetConsoleCtrlHandler(restoreAndExit, FALSE);
    // The typed line end was not echoed either.
    writeText("\r\n");
    CloseHandle(g_input);
    CloseHandle(g_output);
    g_input = g_output = INVALID_HANDLE_VALUE;

    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    *password = line;
    // Do not leave the typed text lying around in freed memory.
    line.fill(QLatin1Char('\0'));
    return ended || !password->isEmpty() ? Obtained : Cancelled;
}
