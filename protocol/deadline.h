#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// A single-shot timer for the client's time-outs. It runs on the event loop's
// timers unless a clock has been installed: then on that clock, so that a test
// can play minutes of a unit's behaviour without waiting for them.
class Deadline : public QObject
{
    Q_OBJECT

public:
    class Clock
    {
    public:
        virtual ~Clock() = default;
        // Calls fire once ms from now; the handle cancels it.
        virtual quint64 schedule(int ms, std::function<void()> fire) = 0;
        virtual void cancel(quint64 handle) = 0;
        // Milliseconds on this clock, from any fixed start.
        virtual qint64 now() const = 0;
    };
    // Deadlines started from now on run on this clock (nullptr: the event
    // loop's). The clock must outlive every deadline started on it.
    static void setClock(Clock *clock);
    // Milliseconds on the installed clock, or on the system's monotonic one:
    // for measuring how long a unit takes, on the same clock as the deadlines.
    static qint64 now();

    explicit Deadline(QObject *parent = nullptr);
    ~Deadline() override;

    // Starts or restarts the deadline.
    void start(int ms);
    void stop();
    bool isActive() const;
    int interval() const { return m_interval; }

signals:
    void timeout();

private:
    void fire();

    QTimer m_timer;
    Clock *m_clock = nullptr; // the clock the running deadline was started on
    quint64 m_handle = 0;
    int m_interval = 0;
};
