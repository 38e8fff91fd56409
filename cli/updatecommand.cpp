#include "cli/updatecommand.h"

#include "cli/signalwatcher.h"
#include "cli/textformat.h"
#include "cli/unitdirectory.h"
#include "cli/updatereporter.h"
#include "core/updateplan.h"
#include "discovery/udpmm.h"

UpdateCommand::UpdateCommand(const CliArguments &arguments, const QString &password,
                             UdpMachineList *table, UnitDirectory *directory,
                             UpdateReporter *reporter, const RunImage &image, QObject *parent)
    : QObject(parent),
      m_arguments(arguments),
      m_directory(directory),
      m_reporter(reporter),
      m_image(image),
      m_scheduler(table, directory),
      m_verifier(table, directory, &m_scheduler, image)
{
    m_scheduler.setPassword(password);
    m_scheduler.setParallel(arguments.parallel);
    m_verifier.setPassword(password);
    m_verifier.setTimeoutSeconds(arguments.verifySeconds);
    m_scheduler.setAwaitProof(arguments.verify);
    // Units given by address answer no search: the table cannot see them
    // come back.
    m_verifier.setPolling(arguments.direct);
    connect(&m_verifier, &UpdateVerifier::idle, this, &UpdateCommand::slot_verifierIdle);
    m_searchTimer.setSingleShot(true);
    connect(&m_searchTimer, &QTimer::timeout, this, &UpdateCommand::endSearch);
    connect(directory, &UnitDirectory::unitAdded, this, &UpdateCommand::slot_unitAdded);
    connect(&m_scheduler, &UpdateScheduler::finished, this, &UpdateCommand::slot_finished);
    reporter->setImageSize(image.size);
    reporter->attach(&m_scheduler, directory);
}

int UpdateCommand::exitStatus(const QList<UpdateScheduler::Unit> &units, int interruptedBy,
                              bool unitsFound)
{
    if (interruptedBy)
        return 128 + interruptedBy;
    bool anyFound = unitsFound;
    bool allSucceeded = true;
    for (const UpdateScheduler::Unit &unit : units) {
        anyFound = anyFound || unit.result != UpdateScheduler::NotFound;
        // A skip is a decision, not a failure.
        allSucceeded = allSucceeded
                && (unit.result == UpdateScheduler::Succeeded
                    || unit.result == UpdateScheduler::Skipped);
    }
    if (!anyFound)
        return 2;
    return allSucceeded ? 0 : 1;
}

QString UpdateCommand::skipReason(const UnitInfo &unit, const RunImage &image,
                                  const CliArguments &arguments)
{
    UpdatePlan::Rules rules;
    rules.reinstall = arguments.reinstall;
    rules.allowOlder = arguments.allowOlder;
    rules.anyModel = arguments.anyModel;
    const QString version = TextFormat::printable(unit.version);
    switch (UpdatePlan::verdict(unit.model, unit.version, unit.build, image.model, image.version,
                                image.build, rules)) {
    case UpdatePlan::SkipOtherModel:
        return QStringLiteral("a %1 unit; the image is for %2 (--any-model writes it)")
                .arg(TextFormat::printable(unit.model), image.model);
    case UpdatePlan::SkipCurrent:
        return QStringLiteral("already runs %1 (--reinstall writes it again)").arg(version);
    case UpdatePlan::SkipNewer:
        return QStringLiteral("runs %1, newer than the image's %2 (--allow-older writes the "
                              "older image)")
                .arg(version, image.version);
    case UpdatePlan::SkipNotOlder:
    case UpdatePlan::Write:
        break;
    }
    return QString();
}

bool UpdateCommand::isOutdated(const UnitInfo &unit, const RunImage &image)
{
    // By version alone: a unit of another model is picked, then skipped with
    // its reason unless --any-model.
    UpdatePlan::Rules rules = UpdatePlan::olderOnly();
    rules.anyModel = true;
    return UpdatePlan::verdict(unit.model, unit.version, unit.build, image.model, image.version,
                               image.build, rules)
            == UpdatePlan::Write;
}

void UpdateCommand::start()
{
    if (m_phase != Idle)
        return;
    if (m_arguments.direct) {
        startDirect();
        return;
    }
    m_phase = Searching;
    m_reporter->image(m_image);
    m_reporter->searching(m_arguments.waitSeconds);
    m_searchTimer.start(int(m_arguments.waitSeconds * 1000));
}

void UpdateCommand::startDirect()
{
    m_phase = Updating;
    m_reporter->image(m_image);
    m_reporter->notice(QStringLiteral("No search: connecting straight to %1 unit(s).")
                               .arg(m_arguments.addresses.size()));
    for (const QString &address : qAsConst(m_arguments.addresses)) {
        if (!m_addDirectTarget || !m_addDirectTarget(address))
            m_reporter->notice(QStringLiteral("%1 cannot be reached directly.").arg(address));
    }
    // A unit the table did not take ends as not found.
    m_scheduler.start(m_arguments.addresses);
}

void UpdateCommand::slot_unitAdded(const QString &address)
{
    if (m_phase != Searching)
        return;
    m_reporter->found(m_directory->lastKnown(address));
    // --all and --outdated take every unit that answers in the time.
    if (m_arguments.all || m_arguments.outdated || m_endQueued)
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

    // --outdated may pick none of the units it found: nothing to do, which
    // is no failure.
    m_unitsFound = m_arguments.outdated && !present.isEmpty();
    QStringList requested = m_arguments.addresses;
    for (const UnitInfo &unit : present) {
        if (m_arguments.all || (m_arguments.outdated && isOutdated(unit, m_image)))
            requested << unit.address;
    }
    QHash<QString, QString> skips;
    int toWrite = 0;
    bool anyFound = m_unitsFound;
    for (const QString &address : qAsConst(requested)) {
        if (!m_directory->contains(address))
            continue;
        anyFound = true;
        const QString reason = skipReason(m_directory->lastKnown(address), m_image, m_arguments);
        if (!reason.isEmpty()) {
            skips.insert(address, reason);
            continue;
        }
        ++toWrite;
        // It warns, and writes the unit all the same: the protocol cannot
        // tell a unit from a host that answers in its name.
        const QStringList warnings = m_warningSource ? m_warningSource(address) : QStringList();
        for (const QString &warning : warnings)
            m_reporter->notice(QStringLiteral("Warning: %1: %2").arg(address, warning));
    }
    if (anyFound && toWrite == 0)
        m_reporter->notice(QStringLiteral("Nothing to update."));
    m_scheduler.start(requested, skips);
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
        m_verifier.stopWaiting();
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

void UpdateCommand::close(int signalNumber)
{
    if (m_phase == Idle || m_phase == Finished)
        return;
    if (!m_interruptedBy)
        m_interruptedBy = signalNumber;
    const QString why = signalNumber == SignalWatcher::Hangup
            ? QStringLiteral("the console was closed")
            : QStringLiteral("the system is logging off or shutting down");
    if (m_phase == Searching) {
        m_reporter->notice(QStringLiteral("Closing: %1; no unit is started.").arg(why));
        endSearch();
        return;
    }
    const int running = m_scheduler.workingCount();
    if (running > 0)
        m_reporter->notice(QStringLiteral("Closing: %1 while %2 unit(s) were being written; "
                                          "each is recorded as interrupted.")
                                   .arg(why)
                                   .arg(running));
    m_verifier.stopWaiting();
    m_scheduler.endWorking(why);
}

void UpdateCommand::slot_finished()
{
    finishIfDone();
}

void UpdateCommand::slot_verifierIdle()
{
    finishIfDone();
}

// The run is over when every unit has its result and no updated unit is
// still awaited.
void UpdateCommand::finishIfDone()
{
    if (m_phase == Finished || !m_scheduler.isFinished() || m_verifier.pendingCount() > 0)
        return;
    m_phase = Finished;
    const int status = exitStatus(m_scheduler.units(), m_interruptedBy, m_unitsFound);
    m_reporter->summary(status);
    emit done(status);
}
