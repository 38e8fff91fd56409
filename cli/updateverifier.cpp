#include "cli/updateverifier.h"

#include "cli/textformat.h"
#include "cli/unitdirectory.h"
#include "cli/updatescheduler.h"
#include "core/versioncompare.h"
#include "core/versionstanding.h"

UpdateVerifier::UpdateVerifier(UnitDirectory *directory, UpdateScheduler *scheduler,
                               const RunImage &image, QObject *parent)
    : QObject(parent), m_directory(directory), m_scheduler(scheduler), m_image(image)
{
    connect(scheduler, &UpdateScheduler::unitFinished, this, &UpdateVerifier::slot_unitFinished);
    connect(directory, &UnitDirectory::unitUpdated, this, &UpdateVerifier::slot_unitUpdated);
}

QString UpdateVerifier::verifiedText(const QString &version, const QString &build)
{
    return QStringLiteral("verified ") + TextFormat::printable(version)
            + (build.isEmpty() ? QString() : QLatin1Char(' ') + TextFormat::printable(build));
}

QString UpdateVerifier::stillReportsText(const QString &version, const QString &build)
{
    return QStringLiteral("still reports ")
            + (version.isEmpty() ? QStringLiteral("no version") : TextFormat::printable(version))
            + (build.isEmpty() ? QString() : QLatin1Char(' ') + TextFormat::printable(build))
            + QStringLiteral(" after the update");
}

QString UpdateVerifier::notBackText(double seconds)
{
    return QStringLiteral("did not come back within %1 s").arg(seconds);
}

void UpdateVerifier::slot_unitFinished(const QString &address)
{
    const UpdateScheduler::Unit *unit = m_scheduler->unit(address);
    // The scheduler has marked the units it awaits (not with --no-verify).
    if (!unit || !unit->verifying || m_pending.contains(address))
        return;
    auto pending = std::make_shared<Pending>();
    pending->deadline = std::make_unique<QTimer>();
    pending->deadline->setSingleShot(true);
    connect(pending->deadline.get(), &QTimer::timeout, this, [this, address] {
        const auto it = m_pending.constFind(address);
        if (it == m_pending.constEnd())
            return;
        // Polled, and all the while it ran the old firmware.
        if (it.value()->readOld) {
            judge(address, true);
            return;
        }
        if (it.value()->stage == AwaitingReturn || m_polling)
            end(address, UpdateScheduler::NotVerified, notBackText(m_timeoutSeconds));
        else
            end(address, UpdateScheduler::NotVerified,
                QStringLiteral("came back, but its version could not be read (%1)")
                        .arg(it.value()->lastError.isEmpty()
                                     ? QStringLiteral("no answer")
                                     : TextFormat::printable(it.value()->lastError)));
    });
    pending->deadline->start(int(m_timeoutSeconds * 1000));
    m_pending.insert(address, pending);
    if (m_polling)
        retryLater(address);
}

void UpdateVerifier::retryLater(const QString &address)
{
    const auto it = m_pending.constFind(address);
    if (it == m_pending.constEnd())
        return;
    it.value()->stage = Retrying;
    QTimer::singleShot(m_retryMs, this, [this, address] { check(address); });
}

void UpdateVerifier::slot_unitUpdated(const QString &address, const QString &key)
{
    const auto it = m_pending.constFind(address);
    if (it == m_pending.constEnd())
        return;
    Pending &pending = *it.value();
    if (pending.stage == AwaitingReturn && key == QLatin1String("m_after_update")
        && m_directory->lastKnown(address).afterUpdate == QLatin1String("back")) {
        pending.stage = Checking;
        // The table reports under its lock: the check starts from the loop.
        QTimer::singleShot(0, this, [this, address] { check(address); });
    } else if (pending.stage == Checking && key == QLatin1String("m_build")) {
        // The check's version reply: name, version and build arrive in this
        // order, the build last.
        judge(address, false);
    }
}

void UpdateVerifier::check(const QString &address)
{
    const auto it = m_pending.constFind(address);
    if (it == m_pending.constEnd() || !m_checkUnit)
        return;
    it.value()->stage = Checking;
    // An accepted check answers "connecting..." before the call returns.
    m_checking = address;
    m_checkAnswered = false;
    m_checkUnit(address, m_password, m_port);
    m_checking.clear();
    if (!m_checkAnswered && m_pending.contains(address)) {
        it.value()->lastError = QStringLiteral("the unit is not in the device table");
        retryLater(address);
    }
}

void UpdateVerifier::slot_progress(QString arg_progress, QString arg_ipaddr)
{
    if (arg_ipaddr == m_checking)
        m_checkAnswered = true;
    const auto it = m_pending.constFind(arg_ipaddr);
    if (it == m_pending.constEnd() || it.value()->stage != Checking)
        return;
    if (arg_progress.startsWith(QLatin1String("ERROR"))) {
        it.value()->lastError = arg_progress;
        it.value()->seenDown = true;
        it.value()->readOld = false;
        retryLater(arg_ipaddr);
    }
}

void UpdateVerifier::judge(const QString &address, bool timeUp)
{
    const auto it = m_pending.constFind(address);
    if (it == m_pending.constEnd())
        return;
    Pending &pending = *it.value();
    UnitInfo info = m_directory->lastKnown(address);
    if (timeUp) {
        info.version = pending.lastVersion;
        info.build = pending.lastBuild;
    }
    // The model is not in question here: only what the unit now runs.
    const VersionStanding::Standing standing = VersionStanding::judge(
            QString(), info.version, info.build, QString(), m_image.version, m_image.build);
    if (standing == VersionStanding::Current) {
        end(address, UpdateScheduler::Succeeded, verifiedText(info.version, info.build));
        return;
    }
    if (m_polling && !pending.seenDown && !timeUp) {
        // Perhaps not restarted yet: look again.
        pending.readOld = true;
        pending.lastVersion = info.version;
        pending.lastBuild = info.build;
        retryLater(address);
        return;
    }
    // The build matters only where the version is the image's.
    const bool sameVersion =
            VersionCompare::compare(info.version, m_image.version) == VersionCompare::Same;
    end(address, UpdateScheduler::Failed,
        stillReportsText(info.version, sameVersion ? info.build : QString()));
}

void UpdateVerifier::end(const QString &address, int result, const QString &message)
{
    const std::shared_ptr<Pending> pending = m_pending.take(address);
    if (!pending)
        return;
    pending->deadline->stop();
    m_scheduler->setVerified(address, UpdateScheduler::Result(result), message);
    if (m_pending.isEmpty())
        emit idle();
}

void UpdateVerifier::stopWaiting()
{
    m_scheduler->setAwaitProof(false);
    const QStringList addresses = m_pending.keys();
    for (const QString &address : addresses)
        end(address, UpdateScheduler::NotVerified,
            QStringLiteral("interrupted before it came back"));
}
