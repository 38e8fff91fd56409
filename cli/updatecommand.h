#pragma once

#include "cli/cliarguments.h"
#include "cli/updatescheduler.h"
#include "cli/updateverifier.h"
#include "core/runimage.h"

#include <QObject>
#include <QTimer>

#include <functional>

class UdpMachineList;
class UnitDirectory;
struct UnitInfo;
class UpdateReporter;

// kvx-update update: search, then update the units asked for through the
// scheduler, report as it goes, and end with a summary and an exit status.
class UpdateCommand : public QObject
{
    Q_OBJECT

public:
    UpdateCommand(const CliArguments &arguments, const QString &password, UdpMachineList *table,
                  UnitDirectory *directory, UpdateReporter *reporter, const RunImage &image,
                  QObject *parent = nullptr);

    // --direct: how the table is given an address to connect to; false when
    // it does not take it.
    void setDirectTargetAdder(std::function<bool(const QString &)> adder)
    {
        m_addDirectTarget = std::move(adder);
    }

    // Where a unit's identity warnings come from (the table's
    // identityWarnings): said for every unit to be written before any is
    // started, that is before the password goes anywhere.
    void setWarningSource(std::function<QStringList(const QString &)> source)
    {
        m_warningSource = std::move(source);
    }

    void start();
    UpdateScheduler *scheduler() { return &m_scheduler; }

    // 0 when every unit succeeded or was skipped; 2 when none of the units
    // asked for was found (unitsFound: units were found, none was picked);
    // 1 when any failed, was lost, was not found or was not verified;
    // 128 + the signal's number when interrupted.
    static int exitStatus(const QList<UpdateScheduler::Unit> &units, int interruptedBy,
                          bool unitsFound = false);
    // Why a found unit is not written, or "" when it is: it runs the image's
    // version (unless reinstall), a newer one (unless allowOlder), or it is
    // of another model (unless anyModel).
    static QString skipReason(const UnitInfo &unit, const RunImage &image,
                              const CliArguments &arguments);
    // --outdated: the unit runs a version older than the image's.
    static bool isOutdated(const UnitInfo &unit, const RunImage &image);

public slots:
    void interrupt(int signalNumber);
    // The system ends the program within seconds (SignalWatcher::closing):
    // nothing more starts, every unit being written gets its result
    // "interrupted" (and its history line) at once, and the run ends.
    void close(int signalNumber);

signals:
    void done(int exitStatus);

private slots:
    void slot_unitAdded(const QString &address);
    void endSearch();
    void slot_finished();
    void slot_verifierIdle();

private:
    // --direct: no search; the table is given the addresses to connect to.
    void startDirect();

    enum Phase { Idle, Searching, Updating, Finished };

    CliArguments m_arguments;
    UnitDirectory *m_directory;
    std::function<bool(const QString &)> m_addDirectTarget;
    std::function<QStringList(const QString &)> m_warningSource;
    UpdateReporter *m_reporter;
    RunImage m_image;
    UpdateScheduler m_scheduler;
    UpdateVerifier m_verifier;
    QTimer m_searchTimer;
    Phase m_phase = Idle;
    int m_interruptedBy = 0;
    bool m_endQueued = false;
    bool m_unitsFound = false; // the search found units, whatever was picked
    void finishIfDone();
};
