#include "cli/updatescheduler.h"

#include "cli/progresstext.h"
#include "cli/unitdirectory.h"
#include "core/unitrunrecord.h"

#include <QMetaObject>
#include <QTimer>

UpdateScheduler::UpdateScheduler(UnitDirectory *directory, QObject *parent)
    : QObject(parent), m_directory(directory)
{
    m_clock.start();
    connect(directory, &UnitDirectory::unitRemoved, this, &UpdateScheduler::slot_unitRemoved);
}

QString UpdateScheduler::resultName(Result result)
{
    switch (result) {
    case Pending:
        return QStringLiteral("pending");
    // The history writes these names: the record's own words.
    case Succeeded:
        return UnitRunRecord::kSucceeded;
    case Failed:
        return UnitRunRecord::kFailed;
    case Lost:
        return UnitRunRecord::kLost;
    case NotFound:
        return UnitRunRecord::kNotFound;
    case NotStarted:
        return UnitRunRecord::kNotStarted;
    case Skipped:
        return QStringLiteral("skipped");
    case NotVerified:
        return QStringLiteral("not verified");
    case Interrupted:
        return UnitRunRecord::kInterrupted;
    }
    return QString();
}

void UpdateScheduler::start(const QStringList &requested, const QHash<QString, QString> &skips)
{
    if (m_started)
        return;
    m_started = true;
    for (const QString &address : requested) {
        Unit unit;
        unit.address = address;
        if (!m_directory->contains(address)) {
            unit.state = Done;
            unit.result = NotFound;
            unit.message = QStringLiteral("the unit did not answer the search");
        } else if (skips.contains(address)) {
            unit.state = Done;
            unit.result = Skipped;
            unit.message = skips.value(address);
        }
        m_units << unit;
    }
    for (const Unit &unit : qAsConst(m_units)) {
        if (unit.state == Done)
            emit unitFinished(unit.address);
    }
    // Possibly called from a node-message handler: the first starts wait for
    // the event loop.
    scheduleFill(0);
    checkFinished();
}

void UpdateScheduler::stopStarting()
{
    if (m_stopStarting)
        return;
    m_stopStarting = true;
    for (Unit &unit : m_units) {
        if (unit.state == Waiting)
            finish(&unit, NotStarted, QStringLiteral("interrupted before the unit was started"));
    }
    checkFinished();
}

void UpdateScheduler::endWorking(const QString &why)
{
    // The units that may be half-written first; a freed slot starts nothing
    // before the event loop runs, and by then nothing starts any more.
    for (Unit &unit : m_units) {
        if (unit.state != Working)
            continue;
        finish(&unit, Interrupted,
               unit.lastText.isEmpty()
                       ? QStringLiteral("%1 before the unit answered").arg(why)
                       : QStringLiteral("%1 while the unit was at \"%2\"").arg(why, unit.lastText));
    }
    stopStarting();
    checkFinished();
}

const UpdateScheduler::Unit *UpdateScheduler::unit(const QString &address) const
{
    for (const Unit &unit : m_units) {
        if (unit.address == address)
            return &unit;
    }
    return nullptr;
}

UpdateScheduler::Unit *UpdateScheduler::find(const QString &address)
{
    for (Unit &unit : m_units) {
        if (unit.address == address)
            return &unit;
    }
    return nullptr;
}

int UpdateScheduler::workingCount() const
{
    int count = 0;
    for (const Unit &unit : m_units)
        count += unit.state == Working ? 1 : 0;
    return count;
}

int UpdateScheduler::verifyingCount() const
{
    int count = 0;
    for (const Unit &unit : m_units)
        count += unit.verifying ? 1 : 0;
    return count;
}

void UpdateScheduler::setVerified(const QString &address, Result result, const QString &message)
{
    Unit *unit = find(address);
    if (!unit || !unit->verifying)
        return;
    unit->verifying = false;
    unit->result = result;
    unit->message = message;
    emit unitVerified(address);
}

int UpdateScheduler::waitingCount() const
{
    int count = 0;
    for (const Unit &unit : m_units)
        count += unit.state == Waiting ? 1 : 0;
    return count;
}

void UpdateScheduler::scheduleFill(int delayMs)
{
    if (delayMs <= 0) {
        if (m_fillQueued)
            return;
        m_fillQueued = true;
        QMetaObject::invokeMethod(this, "fill", Qt::QueuedConnection);
        return;
    }
    QTimer::singleShot(delayMs, this, &UpdateScheduler::fill);
}

void UpdateScheduler::fill()
{
    m_fillQueued = false;
    while (!m_stopStarting && workingCount() + m_settling < m_parallel) {
        Unit *next = nullptr;
        for (Unit &unit : m_units) {
            if (unit.state == Waiting) {
                next = &unit;
                break;
            }
        }
        if (!next)
            break;
        if (!m_directory->contains(next->address)) {
            finish(next, Lost,
                   QStringLiteral("the unit left the network before it could be started"));
            continue;
        }

        next->state = Working;
        next->startedMs = m_clock.elapsed();
        m_peakWorking = qMax(m_peakWorking, workingCount());
        emit unitStarted(next->address);

        // The table answers an accepted start with "connecting..." before
        // fwUpdateStart returns; silence means it had no record to start.
        m_starting = next->address;
        m_startAnswered = false;
        m_startUnit(next->address, m_password, m_port);
        const bool answered = m_startAnswered;
        m_starting.clear();
        if (!answered && next->state == Working)
            finish(next, Lost,
                   QStringLiteral(
                           "the unit was no longer in the device table when it was started"));
    }

    // The window shows "Waiting" on the units that did not get a slot at once.
    if (!m_waitingAnnounced && !m_stopStarting) {
        m_waitingAnnounced = true;
        for (const Unit &unit : qAsConst(m_units)) {
            if (unit.state == Waiting)
                emit unitWaiting(unit.address);
        }
    }
    checkFinished();
}

void UpdateScheduler::slot_progress(QString arg_progress, QString arg_ipaddr)
{
    Unit *unit = find(arg_ipaddr);
    if (!unit || unit->state != Working)
        return;
    if (arg_ipaddr == m_starting)
        m_startAnswered = true;
    unit->lastText = arg_progress;
    const int percent = ProgressText::percent(arg_progress);
    if (percent >= 0)
        unit->percent = percent;
    emit unitProgress(arg_ipaddr, arg_progress);

    switch (ProgressText::classify(arg_progress)) {
    case ProgressText::Succeeded:
        finish(unit, Succeeded, arg_progress);
        break;
    case ProgressText::Failed:
        finish(unit, Failed, arg_progress);
        break;
    case ProgressText::Working:
        break;
    }
}

void UpdateScheduler::slot_unitRemoved(const QString &address)
{
    Unit *unit = find(address);
    if (!unit || unit->state == Done)
        return;
    finish(unit, Lost,
           unit->state == Waiting
                   ? QStringLiteral("the unit left the network before it could be started")
                   : QStringLiteral("the unit left the network during the update"));
}

void UpdateScheduler::finish(Unit *unit, Result result, const QString &message)
{
    const bool wasWorking = unit->state == Working;
    unit->state = Done;
    unit->result = result;
    unit->message = message;
    unit->verifying = result == Succeeded && m_awaitProof;
    if (unit->startedMs >= 0)
        unit->endedMs = m_clock.elapsed();
    emit unitFinished(unit->address);
    if (wasWorking) {
        ++m_settling;
        QTimer::singleShot(kSlotSettleMs, this, [this] {
            --m_settling;
            fill();
        });
    }
    checkFinished();
}

void UpdateScheduler::checkFinished()
{
    if (!m_started || m_finished)
        return;
    for (const Unit &unit : qAsConst(m_units)) {
        if (unit.state != Done)
            return;
    }
    m_finished = true;
    // Never from inside a table handler: whoever listens may end the program.
    QMetaObject::invokeMethod(this, "finished", Qt::QueuedConnection);
}
