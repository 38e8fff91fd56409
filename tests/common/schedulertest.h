#pragma once

// The set-up of the tests of kvx-update's run: the stand-in table, the unit
// directory that follows its messages and the scheduler that drives it, new
// for every case. What the table emits goes through emitting(), and any call
// into the table made from inside one of its signals is counted: a handler
// that called back would hang the real table on its own lock.

#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"
#include "common/standincore.h"

#include <QObject>
#include <QStringList>

#include <functional>

class SchedulerTest : public QObject
{
protected:
    // A null password leaves the scheduler's own unset.
    void setUpScheduler(const QString &password = QString())
    {
        m_core = new StandInCore;
        m_directory = new UnitDirectory(m_core);
        m_scheduler = new UpdateScheduler(m_core, m_directory);
        if (!password.isNull())
            m_scheduler->setPassword(password);
        m_emitting = 0;
        m_callsWhileEmitting = 0;
        m_maxRunning = 0;
        connect(m_core, &StandInCore::callsChanged, this, [this] {
            if (m_emitting > 0)
                ++m_callsWhileEmitting;
            m_maxRunning = qMax(m_maxRunning, m_scheduler->workingCount());
        });
    }

    void tearDownScheduler()
    {
        delete m_scheduler;
        delete m_directory;
        delete m_core;
        m_scheduler = nullptr;
        m_directory = nullptr;
        m_core = nullptr;
    }

    // Runs `emission` as the table emits its signals.
    void emitting(const std::function<void()> &emission)
    {
        ++m_emitting;
        emission();
        --m_emitting;
    }

    void emitProgress(const QString &text, const QString &address)
    {
        emitting([&] { m_core->progress(text, address); });
    }

    // Units 10.77.0.10, .11, … named "Unit 1", "Unit 2", …
    QStringList addUnits(int count)
    {
        QStringList addresses;
        for (int i = 0; i < count; ++i) {
            const QString address = QStringLiteral("10.77.0.%1").arg(10 + i);
            emitting([&] { m_core->addUnit(address, QStringLiteral("Unit %1").arg(i + 1)); });
            addresses << address;
        }
        return addresses;
    }

    StandInCore *m_core = nullptr;
    UnitDirectory *m_directory = nullptr;
    UpdateScheduler *m_scheduler = nullptr;
    int m_callsWhileEmitting = 0;
    int m_maxRunning = 0; // most units working at once, seen at each call

private:
    int m_emitting = 0; // > 0 while inside a table signal
};
