#include "tickwatch.h"

#include "common/qmlsignal.h"

TickWatch::TickWatch(QObject *timer, int intervalMs) : m_intervalMs(intervalMs)
{
    // A QML Timer has no public C++ type to point at: its signal is looked up.
    const QMetaMethod triggered = qmlSignal(timer, "triggered()");
    m_valid = triggered.isValid()
            && connect(timer, triggered, this, qmlSlot(this, "slot_triggered()"));
    reset();
}

void TickWatch::reset()
{
    m_clock.start();
    m_last = -1;
    m_worst = 0;
    m_ticks = 0;
}

void TickWatch::slot_triggered()
{
    const qint64 now = m_clock.elapsed();
    if (m_last >= 0)
        m_worst = qMax(m_worst, now - m_last - m_intervalMs);
    m_last = now;
    ++m_ticks;
}
