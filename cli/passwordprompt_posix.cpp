#include "cli/passwordprompt.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

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

} // namespace

PasswordPrompt::Outcome PasswordPrompt::ask(QString *password)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return PasswordPrompt::NoTerminal;
    struct termios saved;
    if (tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return PasswordPrompt::NoTerminal;
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
    ssize_t ignored = ::write(tty, kText, sizeof kText - 1);

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
    return ended || !password->isEmpty() ? PasswordPrompt::Obtained : PasswordPrompt::Cancelled;
}
