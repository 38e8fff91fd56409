#include "cli/updatecommand.h"

#include "cli/unitdirectory.h"
#include "cli/updatereporter.h"
#include "discovery/udpmm.h"

UpdateCommand::UpdateCommand(const CliArguments &arguments, const QString &password,
                             UdpMachineList *table, UnitDirectory *directory,
                             UpdateReporter *reporter, const ImageInfo &image, QObject *parent)
    : QObject(parent),
      m_arguments(arguments),
      m_directory(directory),
      m_reporter(reporter),
      m_image(image),
      m_scheduler(table, directory)
{
    m_scheduler.setPassword(password);
    m_scheduler.setParallel(arguments.parallel);
    m_searchTimer.setSingleShot(true);
    connect(&m_searchTimer, &QTimer::timeout, this, &UpdateCommand::endSearch);
    connect(directory, &UnitDirectory::unitAdded, this, &UpdateCommand::slot_unitAdded);
    connect(&m_scheduler, &UpdateScheduler::finished, this, &UpdateCommand::slot_finished);
    reporter->setImageSize(image.size);
    reporter->attach(&m_scheduler, directory);
}

int UpdateCommand::exitStatus(const QList<UpdateScheduler::Unit> &units, int interruptedBy)
{
    if (interruptedBy)
        return 128 + interruptedBy;
    bool anyFound = false;
    bool allSucceeded = true;
    for (const UpdateScheduler::Unit &unit : units) {
        anyFound = anyFound || unit.result != UpdateScheduler::NotFound;
        allSucceeded = allSucceeded && unit.result == UpdateScheduler::Succeeded;
    }
    if (!anyFound)
        return 2;
    return allSucceeded ? 0 : 1;
}

void UpdateCommand::start()
{
    if (m_phase != Idle)
        return;
    m_phase = Searching;
    m_reporter->image(m_image);
    m_reporter->searching(m_arguments.waitSeconds);
    m_searchTimer.start(int(m_arguments.waitSeconds * 1000));
}

void UpdateCommand::slot_unitAdded(const QString &address)
{
    if (m_phase != Searching)
        return;
    m_reporter->found(m_directory->lastKnown(address));
    if (m_arguments.all || m_endQueued)
        return;
    for (const QString &named : qAsConst(m_arguments.addresses)) {
        if (!m_directory->contains(named))
            return;
    }
    // Every named unit has answered: no reason to keep searching. Not from
    // here, though: the table holds its lock while it announces a unit.
    m_endQueued = true;
    QMetaObject::invokeMethod(this, "endSearch", Qt::QueuedConnection);
}

void UpdateCommand::endSearch()
{
    if (m_phase != Searching)
        return;
    m_phase = Updating;
    m_searchTimer.stop();
    const QList<UnitInfo> present = UnitDirectory::sortedByAddress(m_directory->units());
    m_reporter->searchEnded(present.size());

    QStringList requested = m_arguments.addresses;
    if (m_arguments.all) {
        for (const UnitInfo &unit : present)
            requested << unit.address;
    }
    m_scheduler.start(requested);
    if (m_interruptedBy)
        m_scheduler.stopStarting();
}

void UpdateCommand::interrupt(int signalNumber)
{
    switch (m_phase) {
    case Idle:
    case Finished:
        return;
    case Searching:
        m_interruptedBy = signalNumber;
        m_reporter->notice(QStringLiteral("Interrupted while searching: no unit is started."));
        endSearch();
        return;
    case Updating:
        break;
    }
    const int running = m_scheduler.workingCount();
    if (!m_interruptedBy) {
        m_interruptedBy = signalNumber;
        m_scheduler.stopStarting();
        if (running > 0) {
            m_reporter->notice(
                    QStringLiteral(
                            "Interrupted: no further unit is started; waiting for %1 running "
                            "unit(s) to finish or time out.")
                            .arg(running));
        }
        return;
    }
    // Once more: say why the program does not simply end.
    if (running > 0) {
        m_reporter->notice(
                QStringLiteral("Still waiting for %1 running unit(s): stopping a unit while it "
                               "takes its firmware can leave it unusable.")
                        .arg(running));
    }
}

void UpdateCommand::slot_finished()
{
    if (m_phase == Finished)
        return;
    m_phase = Finished;
    const int status = exitStatus(m_scheduler.units(), m_interruptedBy);
    m_reporter->summary(status);
    emit done(status);
}
