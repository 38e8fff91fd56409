#pragma once

// Runs a program of the Windows build under Wine, from a test built for this
// machine, the way a person or a script on Windows meets it: with pipes (as
// a script that reads its output), or on a console, here a pseudo-terminal
// that Wine turns into one, with keys typed into it.
//
// The Windows stage (tools/windows/test.sh) sets the environment: WINEPREFIX,
// WINEPATH (the Qt and MinGW DLLs) and the program's path.

#include "common/programrun.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <vector>

using WineRun = ProgramRun;

// With pipes for stdin (empty), stdout and stderr, in a session without a
// controlling terminal, so that no console is there to ask.
inline WineRun runUnderWine(const QString &program, const QStringList &arguments,
                            const QStringList &extraEnv = QStringList(), int timeoutMs = 60000)
{
    ProgramCall call;
    call.command = QStringList{ QStringLiteral("wine"), program } + arguments;
    call.unsetEnv = QStringList{ QStringLiteral("KVX_PASSWORD") };
    call.setEnv = extraEnv;
    call.newSession = true;
    call.emptyInput = true;
    call.timeoutMs = timeoutMs;
    return runProgram(call);
}

// The program on a console of 200 columns: Wine's console draws into the
// terminal, which is read here.
class WineConsole
{
public:
    WineConsole() = default;
    WineConsole(const WineConsole &) = delete;
    WineConsole &operator=(const WineConsole &) = delete;
    ~WineConsole()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    bool start(const QString &program, const QStringList &arguments,
               const QByteArray &password = QByteArray(),
               const QStringList &extraEnv = QStringList())
    {
        QList<QByteArray> args{ "wine", program.toLocal8Bit() };
        for (const QString &a : arguments)
            args << a.toLocal8Bit();
        struct winsize size = {};
        size.ws_col = 200;
        size.ws_row = 50;
        m_pid = forkpty(&m_master, nullptr, nullptr, &size);
        if (m_pid == 0) {
            if (password.isNull())
                ::unsetenv("KVX_PASSWORD");
            else
                ::setenv("KVX_PASSWORD", password.constData(), 1);
            for (const QString &e : extraEnv)
                ::setenv(e.section(QLatin1Char('='), 0, 0).toLocal8Bit().constData(),
                         e.section(QLatin1Char('='), 1).toLocal8Bit().constData(), 1);
            std::vector<char *> argv;
            for (QByteArray &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        return m_pid > 0;
    }

    // The text the console showed so far, read until `until` has appeared,
    // the time is up, or the program has closed the console.
    QByteArray readUntil(const QByteArray &until, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs && (until.isEmpty() || !seen().contains(until))) {
            struct pollfd p = { m_master, POLLIN, 0 };
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break; // EIO: the program is gone
            m_seen.append(buffer, int(n));
        }
        return seen();
    }

    // Wine's console takes the keys itself (the terminal without echo, not
    // line by line) only while the program reads the console; keys typed
    // before that would be echoed by the terminal. A person types after the
    // prompt has shown, which is later than a test could.
    bool waitUntilReading(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            struct termios t;
            if (tcgetattr(m_master, &t) == 0 && !(t.c_lflag & (ECHO | ICANON)))
                return true;
            readUntil(QByteArray(), 20);
        }
        return false;
    }

    bool type(const QByteArray &keys)
    {
        return ::write(m_master, keys.constData(), size_t(keys.size())) == keys.size();
    }

    // The exit status, or -1 if the program has not ended in time.
    int wait(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        int status = 0;
        while (clock.elapsed() < timeoutMs) {
            readUntil(QByteArray(), 50); // keep the console's output flowing
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }

    // Wine's console redraws what the program writes: it hides and shows the
    // cursor around every write and moves the cursor over blanks instead of
    // writing them. The text without its escape sequences, the moves turned
    // back into blanks.
    QByteArray seen() const
    {
        static const QRegularExpression sequence(QStringLiteral("\\x1b\\[([0-9;?]*)([A-Za-z])"));
        QString text = QString::fromLatin1(m_seen);
        QString plain;
        int at = 0;
        QRegularExpressionMatchIterator it = sequence.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            plain += text.mid(at, m.capturedStart() - at);
            if (m.captured(2) == QLatin1String("C"))
                plain += QString(qMax(1, m.captured(1).toInt()), QLatin1Char(' '));
            at = m.capturedEnd();
        }
        plain += text.mid(at);
        return plain.toLatin1();
    }

private:
    pid_t m_pid = -1;
    int m_master = -1;
    QByteArray m_seen;
};
