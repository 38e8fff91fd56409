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
    const QString build = m_directory->lastBuild(address);
    record.versionBefore = build.isEmpty() ? info.version : info.version + QLatin1Char(' ') + build;
    record.result = UpdateScheduler::resultName(unit->result);
    // A unit that never got as far as a progress text has its reason here.
    record.lastText = unit->lastText.isEmpty() ? unit->message : unit->lastText;
    record.image = m_image;
    record.program = m_program;
    m_records << record;

    QString error;
    if (!m_history.append(record, &error)) {
        if (!m_failureSaid) {
            m_failureSaid = true;
            emit historyFailed(error);
        }
    }
}
