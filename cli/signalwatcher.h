#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (a remote shell that closed) into a signal
// on the event loop. The handler only writes the signal's
// number into a socket pair (the one thing that is safe inside a signal
// handler); the event loop reads it and emits interrupted(). While a watcher
// exists, none of these ends the program in the middle of writing a unit.
//
// On platforms without POSIX signals the watcher does nothing and Ctrl-C
// keeps its default effect.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void interrupted(int signalNumber);

private slots:
    void slot_readSignal();

private:
    QSocketNotifier *m_notifier = nullptr;
};
