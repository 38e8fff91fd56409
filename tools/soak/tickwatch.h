#pragma once

#include <QElapsedTimer>
#include <QObject>

// Watches a repeating timer of the window (the device list's one-second
// timer) and keeps the worst lateness of its ticks: how much longer than the
// interval the gap between two ticks was.
class TickWatch : public QObject
{
    Q_OBJECT

public:
    // `timer` is a QML Timer; its triggered() signal is followed.
    TickWatch(QObject *timer, int intervalMs);

    // Starts a new measurement (the next tick is its first).
    void reset();
    int ticks() const { return m_ticks; }
    // Worst gap minus the interval, in ms; 0 when no gap was longer; -1
    // before two ticks.
    qint64 worstLatenessMs() const { return m_ticks >= 2 ? m_worst : -1; }
    qint64 sinceResetMs() const { return m_clock.elapsed(); }
    bool isValid() const { return m_valid; }

private slots:
    void slot_triggered();

private:
    int m_intervalMs;
    bool m_valid = false;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_worst = 0;
    int m_ticks = 0;
};
