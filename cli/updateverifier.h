#pragma once

#include "core/runimage.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class UnitDirectory;
class UpdateScheduler;

// After a unit has acknowledged its update it restarts into the new firmware;
// this waits for it to come back and reads what it runs, the proof that the
// update took. A unit is back when the table says so (its "m_after_update"
// becomes "back"); then a version check logs in and reads the version and
// build. The image's version and build: "verified 1.04 (build0119)"; any
// other: the unit failed, "still reports 1.02 after the update"; no return in
// time: not verified, "did not come back within 120 s".
//
// Waiting never holds one of the scheduler's slots. Like the scheduler it
// never calls into the table from inside one of the table's signals.
class UpdateVerifier : public QObject
{
    Q_OBJECT

public:
    // How long a failed version check waits before the next try.
    static constexpr int kRetryMs = 3000;

    // table: the device table, or the tests' stand-in with the same progress
    // signal and fwVersionCheck.
    template<typename Table>
    UpdateVerifier(Table *table, UnitDirectory *directory, UpdateScheduler *scheduler,
                   const RunImage &image, QObject *parent = nullptr)
        : UpdateVerifier(directory, scheduler, image, parent)
    {
        connect(table, &Table::toui_fwup_progress, this, &UpdateVerifier::slot_progress);
        m_checkUnit = [table](const QString &address, const QString &password,
                              const QString &port) {
            table->fwVersionCheck(address, password, port);
        };
    }

    void setPassword(const QString &password) { m_password = password; }
    void setPort(const QString &port) { m_port = port; }
    void setTimeoutSeconds(double seconds) { m_timeoutSeconds = seconds; }
    // Tests shorten the pause between two checks.
    void setRetryMs(int ms) { m_retryMs = ms; }
    // Units given by address (--direct) answer no search, so the table never
    // sees them come back: they are checked every few seconds instead. A read
    // of the image's version verifies; another version counts once the unit
    // has been seen down (a refused or failed check), or when it still runs
    // it when the time is up.
    void setPolling(bool polling) { m_polling = polling; }

    // Units still awaited.
    int pendingCount() const { return m_pending.size(); }
    // Ctrl-C: nothing more is awaited; every pending unit ends not verified.
    void stopWaiting();

    // The texts of the three outcomes.
    static QString verifiedText(const QString &version, const QString &build);
    static QString stillReportsText(const QString &version, const QString &build);
    static QString notBackText(double seconds);

signals:
    // The last awaited unit has its result.
    void idle();

private slots:
    void slot_unitFinished(const QString &address);
    void slot_unitUpdated(const QString &address, const QString &key);
    void slot_progress(QString arg_progress, QString arg_ipaddr);

private:
    UpdateVerifier(UnitDirectory *directory, UpdateScheduler *scheduler, const RunImage &image,
                   QObject *parent);

    enum Stage { AwaitingReturn, Checking, Retrying };
    struct Pending
    {
        Stage stage = AwaitingReturn;
        QString lastError;
        std::unique_ptr<QTimer> deadline;
        bool seenDown = false; // polling: a check failed since the update
        bool readOld = false; // polling: the last check read another version ...
        QString lastVersion; // ... this one
        QString lastBuild;
    };

    void check(const QString &address);
    void retryLater(const QString &address);
    // timeUp: the last reading of a polled unit is the verdict.
    void judge(const QString &address, bool timeUp);
    void end(const QString &address, int result, const QString &message);

    std::function<void(const QString &, const QString &, const QString &)> m_checkUnit;
    UnitDirectory *m_directory;
    UpdateScheduler *m_scheduler;
    RunImage m_image;
    QString m_password;
    QString m_port = QStringLiteral("54726");
    double m_timeoutSeconds = 120.0;
    bool m_polling = false;
    int m_retryMs = kRetryMs;
    QHash<QString, std::shared_ptr<Pending>> m_pending;
    QString m_checking; // the unit inside fwVersionCheck right now
    bool m_checkAnswered = false;
};
