#pragma once

#include "cli/cliarguments.h"
#include "cli/imageinfo.h"
#include "cli/updatescheduler.h"

#include <QObject>
#include <QTimer>

class UdpMachineList;
class UnitDirectory;
class UpdateReporter;

// kvx-update update: search, then update the units asked for through the
// scheduler, report as it goes, and end with a summary and an exit status.
class UpdateCommand : public QObject
{
    Q_OBJECT

public:
    UpdateCommand(const CliArguments &arguments, const QString &password, UdpMachineList *table,
                  UnitDirectory *directory, UpdateReporter *reporter, const ImageInfo &image,
                  QObject *parent = nullptr);

    void start();
    UpdateScheduler *scheduler() { return &m_scheduler; }

    // 0 when every unit succeeded; 2 when none of the units asked for was
    // found; 1 when any failed, was lost or was not found; 128 + the signal's
    // number when interrupted.
    static int exitStatus(const QList<UpdateScheduler::Unit> &units, int interruptedBy);

public slots:
    void interrupt(int signalNumber);

signals:
    void done(int exitStatus);

private slots:
    void slot_unitAdded(const QString &address);
    void endSearch();
    void slot_finished();

private:
    enum Phase { Idle, Searching, Updating, Finished };

    CliArguments m_arguments;
    UnitDirectory *m_directory;
    UpdateReporter *m_reporter;
    ImageInfo m_image;
    UpdateScheduler m_scheduler;
    QTimer m_searchTimer;
    Phase m_phase = Idle;
    int m_interruptedBy = 0;
    bool m_endQueued = false;
};
