#include "protocol/deadline.h"

#include <chrono>

static Deadline::Clock *s_clock = nullptr;

void Deadline::setClock(Clock *clock)
{
    s_clock = clock;
}

qint64 Deadline::now()
{
    if (s_clock)
        return s_clock->now();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Deadline::Deadline(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Deadline::fire);
}

Deadline::~Deadline()
{
    stop();
}

void Deadline::start(int ms)
{
    stop();
    m_interval = ms;
    if (!s_clock) {
        m_timer.start(ms);
        return;
    }
    m_clock = s_clock;
    m_handle = m_clock->schedule(ms, [this] {
        m_clock = nullptr;
        m_handle = 0;
        fire();
    });
}

void Deadline::stop()
{
    m_timer.stop();
    if (m_clock) {
        m_clock->cancel(m_handle);
        m_clock = nullptr;
        m_handle = 0;
    }
}

bool Deadline::isActive() const
{
    return m_timer.isActive() || m_clock;
}

void Deadline::fire()
{
    emit timeout();
}
