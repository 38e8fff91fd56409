#include "cli/runlog.h"

#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"

RunLog::RunLog(UpdateScheduler *scheduler, UnitDirectory *directory, const RunImage &image,
               const QString &program, QObject *parent)
    : QObject(parent),
      m_scheduler(scheduler),
      m_directory(directory),
      m_image(image),
      m_program(program)
{
    connect(scheduler, &UpdateScheduler::unitStarted, this, &RunLog::slot_started);
    connect(scheduler, &UpdateScheduler::unitFinished, this, &RunLog::slot_finished);
    connect(scheduler, &UpdateScheduler::unitVerified, this, &RunLog::slot_verified);
}

RunLog::~RunLog()
{
    for (const UnitRunRecord &record : qAsConst(m_awaitingProof))
        append(record);
}

QString RunLog::versionOf(const QString &address) const
{
    const QString version = m_directory->lastKnown(address).version;
    const QString build = m_directory->lastBuild(address);
    return build.isEmpty() ? version : version + QLatin1Char(' ') + build;
}

void RunLog::slot_started(const QString &address)
{
    if (!m_run.isValid())
        m_run = now();
    m_started.insert(address, now());
}

void RunLog::slot_finished(const QString &address)
{
    const UpdateScheduler::Unit *unit = m_scheduler->unit(address);
    if (!unit)
        return;
    if (!m_run.isValid())
        m_run = now();
    const UnitInfo info = m_directory->lastKnown(address);

    UnitRunRecord record;
    record.run = m_run;
    record.started = m_started.value(address);
    record.ended = now();
    record.address = address;
    record.model = info.model;
    record.nickname = info.nickname;
    record.versionBefore = versionOf(address);
    record.result = UpdateScheduler::resultName(unit->result);
    // A unit that never got as far as a progress text has its reason here.
    record.lastText = unit->lastText.isEmpty() ? unit->message : unit->lastText;
    record.image = m_image;
    record.program = m_program;
    // The scheduler has marked a unit that is awaited for its proof.
    if (unit->verifying)
        m_awaitingProof.insert(address, record);
    else
        append(record);
}

void RunLog::slot_verified(const QString &address)
{
    const UpdateScheduler::Unit *unit = m_scheduler->unit(address);
    if (!unit || !m_awaitingProof.contains(address))
        return;
    UnitRunRecord record = m_awaitingProof.take(address);
    record.ended = now();
    switch (unit->result) {
    case UpdateScheduler::Succeeded:
        record.versionAfter = versionOf(address);
        break;
    case UpdateScheduler::Failed: // back, but not running the image
        record.versionAfter = versionOf(address);
        record.result = UnitRunRecord::kNotUpdated;
        break;
    default: // not back in time: nothing is known of what it runs
        record.result = UpdateScheduler::resultName(unit->result);
        break;
    }
    append(record);
}

void RunLog::append(const UnitRunRecord &record)
{
    m_records << record;
    QString error;
    if (!m_history.append(record, &error)) {
        if (!m_failureSaid) {
            m_failureSaid = true;
            emit historyFailed(error);
        }
    }
}
