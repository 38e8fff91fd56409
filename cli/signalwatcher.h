#pragma once

#include <QObject>

// Turns the requests to stop that reach a console program into a signal on
// the event loop, so that none of them ends the program in the middle of
// writing a unit while a watcher exists. One implementation per platform:
//
// POSIX (signalwatcher_posix.cpp): SIGINT, SIGTERM and SIGHUP (a remote shell
// that closed). The handler only writes the signal's number into a socket pair
// (the one thing that is safe inside a signal handler); the event loop reads it.
//
// Windows (signalwatcher_win.cpp): Ctrl-C and Ctrl-Break as Interrupt; the
// console window closing as Hangup, log-off and shut-down as Terminate, all
// three as closing(), through a console control handler. The system runs that
// handler on a thread of its own; it posts the number to the event loop. For
// the last three the system ends the process once the handler returns, or
// after about five seconds whatever it does, so the handler holds on until
// the watcher is gone, and the program must record what it leaves behind at
// once.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    // The POSIX numbers, on every platform: the program's exit status after
    // an interruption is 128 + the number.
    enum Number { Hangup = 1, Interrupt = 2, Terminate = 15 };

    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isActive() const { return m_active; }

#ifdef Q_OS_WIN
    // What the system calls on a console event (CTRL_C_EVENT and so on),
    // on a thread of its own; public so that a test can be the system.
    static int handleConsoleEvent(unsigned long event);
#endif

signals:
    // A request to stop: the program may take its time to end well.
    void interrupted(int signalNumber);
    // The system ends the program within seconds, whatever it does (Windows
    // only: Hangup for a closed console, Terminate for log-off, shut-down).
    void closing(int signalNumber);

private:
    bool m_active = false;
};
