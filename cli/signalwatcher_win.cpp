#include "cli/signalwatcher.h"

#include <QMetaObject>

#include <mutex>

#include <windows.h>

namespace {

std::mutex g_mutex;
SignalWatcher *g_watcher = nullptr; // guarded by g_mutex
HANDLE g_gone = nullptr; // set when the watcher goes

int numberOf(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return SignalWatcher::Interrupt;
    case CTRL_CLOSE_EVENT:
        return SignalWatcher::Hangup;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return SignalWatcher::Terminate;
    default:
        return 0;
    }
}

BOOL WINAPI onControl(DWORD event)
{
    return SignalWatcher::handleConsoleEvent(event);
}

} // namespace

int SignalWatcher::handleConsoleEvent(unsigned long event)
{
    const int number = numberOf(event);
    if (number == 0)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_watcher)
            return FALSE;
        SignalWatcher *watcher = g_watcher;
        // Queued: the signal is emitted on the watcher's thread, by its loop.
        if (number == SignalWatcher::Interrupt)
            QMetaObject::invokeMethod(
                    watcher, [watcher, number] { emit watcher->interrupted(number); },
                    Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(
                    watcher, [watcher, number] { emit watcher->closing(number); },
                    Qt::QueuedConnection);
    }
    // After Ctrl-C the program goes on by itself; after the others the system
    // ends it as soon as this returns, so wait for the program to finish.
    if (number != SignalWatcher::Interrupt)
        WaitForSingleObject(g_gone, INFINITE);
    return TRUE;
}

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_watcher)
        return;
    if (g_gone)
        ResetEvent(g_gone);
    else
        g_gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_gone || !SetConsoleCtrlHandler(onControl, TRUE))
        return;
    g_watcher = this;
    m_active = true;
}

SignalWatcher::~SignalWatcher()
{
    if (!m_active)
        return;
    SetConsoleCtrlHandler(onControl, FALSE);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_watcher = nullptr;
    }
    // A handler that is waiting returns now; the event stays, for it and for
    // a watcher that may follow.
    SetEvent(g_gone);
    m_active = false;
}
