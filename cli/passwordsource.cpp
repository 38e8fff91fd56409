#include "cli/passwordsource.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <cwchar>
#include <windows.h>
#endif

namespace {

#if defined(Q_OS_UNIX)

int g_tty = -1;
struct termios g_saved;

// Ctrl-C at the prompt must not leave the terminal without echo: put the
// settings back (tcsetattr is safe in a signal handler), then die of the
// signal as if nothing had been caught.
void restoreAndRaise(int number)
{
    if (g_tty >= 0)
        tcsetattr(g_tty, TCSAFLUSH, &g_saved);
    signal(number, SIG_DFL);
    raise(number);
}

PasswordSource::Outcome prompt(QString *password)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return PasswordSource::NoTerminal;
    struct termios saved;
    if (tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return PasswordSource::NoTerminal;
    }

    g_saved = saved;
    g_tty = tty;
    struct sigaction action = {}, oldInt = {}, oldTerm = {}, oldHup = {};
    action.sa_handler = restoreAndRaise;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    sigaction(SIGHUP, &action, &oldHup);

    struct termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL | ICANON;
    tcsetattr(tty, TCSAFLUSH, &quiet);
    // Only now the prompt: whatever is typed once it shows is not echoed.
    static const char text[] = "Password for the units: ";
    ssize_t ignored = ::write(tty, text, sizeof text - 1);

    QByteArray line;
    bool ended = false;
    char c = 0;
    while (true) {
        const ssize_t n = ::read(tty, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (c == '\n') {
            ended = true;
            break;
        }
        line.append(c);
    }

    tcsetattr(tty, TCSAFLUSH, &saved);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    g_tty = -1;
    if (!ended) // Ctrl-D: no line at all
        ignored = ::write(tty, "\n", 1);
    (void)ignored;
    ::close(tty);

    if (line.endsWith('\r'))
        line.chop(1);
    *password = QString::fromUtf8(line);
    // Do not leave the typed text lying around in freed memory.
    std::memset(line.data(), 0, size_t(line.size()));
    c = 0;
    return ended || !password->isEmpty() ? PasswordSource::Obtained : PasswordSource::Cancelled;
}

#elif defined(Q_OS_WIN)

PasswordSource::Outcome prompt(QString *password)
{
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
        if (in != INVALID_HANDLE_VALUE)
            CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
        return PasswordSource::NoTerminal;
    }
    static const wchar_t text[] = L"Password for the units: ";
    DWORD written = 0;
    WriteConsoleW(out, text, DWORD(wcslen(text)), &written, nullptr);
    SetConsoleMode(in, (mode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    wchar_t buffer[512];
    DWORD read = 0;
    const bool ok = ReadConsoleW(in, buffer, 511, &read, nullptr);
    SetConsoleMode(in, mode);
    WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
    CloseHandle(in);
    CloseHandle(out);
    if (!ok)
        return PasswordSource::Cancelled;
    QString line = QString::fromWCharArray(buffer, int(read));
    SecureZeroMemory(buffer, sizeof buffer);
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    *password = line;
    return PasswordSource::Obtained;
}

#else

PasswordSource::Outcome prompt(QString *)
{
    return PasswordSource::NoTerminal;
}

#endif

} // namespace

PasswordSource::Outcome PasswordSource::obtain(QString *password)
{
    if (qEnvironmentVariableIsSet(kVariable)) {
        *password = qEnvironmentVariable(kVariable);
        return Obtained;
    }
    return prompt(password);
}
