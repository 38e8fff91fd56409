#pragma once

#include "protocol/deadline.h"

#include <functional>
#include <map>
#include <utility>

// A clock that runs only when a test turns it: the client's deadlines and a
// simulated unit's delays become events in time order, so minutes of a
// unit's behaviour play in microseconds. Installed for its lifetime.
class VirtualClock : public Deadline::Clock
{
public:
    VirtualClock() { Deadline::setClock(this); }
    ~VirtualClock() override { Deadline::setClock(nullptr); }
    VirtualClock(const VirtualClock &) = delete;
    VirtualClock &operator=(const VirtualClock &) = delete;

    quint64 schedule(int ms, std::function<void()> fire) override
    {
        const quint64 handle = ++m_last;
        m_events.emplace(std::make_pair(m_now + ms, handle), std::move(fire));
        return handle;
    }
    void cancel(quint64 handle) override
    {
        for (auto it = m_events.begin(); it != m_events.end(); ++it) {
            if (it->first.second == handle) {
                m_events.erase(it);
                return;
            }
        }
    }
    qint64 now() const override { return m_now; }

    // Plays events until none is left or the clock would pass the limit.
    // Returns the number of events played.
    int run(qint64 limitMs, int maxEvents)
    {
        int played = 0;
        while (!m_events.empty() && played < maxEvents) {
            auto it = m_events.begin();
            if (it->first.first > limitMs)
                break;
            m_now = it->first.first;
            const std::function<void()> fire = std::move(it->second);
            m_events.erase(it);
            fire();
            ++played;
        }
        return played;
    }
    bool idle() const { return m_events.empty(); }

private:
    std::map<std::pair<qint64, quint64>, std::function<void()>> m_events;
    qint64 m_now = 0;
    quint64 m_last = 0;
};
