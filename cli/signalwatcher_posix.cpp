#include "cli/signalwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

static_assert(SIGHUP == SignalWatcher::Hangup && SIGINT == SignalWatcher::Interrupt
                      && SIGTERM == SignalWatcher::Terminate,
              "the watcher's numbers are the system's");

namespace {

int g_pipe[2] = { -1, -1 };
QSocketNotifier *g_notifier = nullptr; // on the reading end of the pair

void onSignal(int number)
{
    const char byte = char(number);
    const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    (void)ignored;
}

void setHandler(int number, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    g_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(g_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(g_pipe[0], &byte, 1) == 1)
            emit interrupted(int(byte));
    });
    setHandler(SIGINT, onSignal);
    setHandler(SIGTERM, onSignal);
    setHandler(SIGHUP, onSignal);
    m_active = true;
}

SignalWatcher::~SignalWatcher()
{
    if (!m_active)
        return;
    setHandler(SIGINT, SIG_DFL);
    setHandler(SIGTERM, SIG_DFL);
    setHandler(SIGHUP, SIG_DFL);
    delete g_notifier;
    g_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    m_active = false;
}
