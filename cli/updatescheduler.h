#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class UnitDirectory;

// Runs the updates of one kvx-update call on the device table, with the
// window's rules: each unit is started once, at most N work at the same time,
// the others wait for a free slot in the order given, and every unit ends with
// exactly one result.
//
// The table emits its signals while it holds its (non-recursive) lock, so
// nothing here starts a unit from inside one of its handlers: starts always go
// through the event loop.
class UpdateScheduler : public QObject
{
    Q_OBJECT

public:
    enum State { Waiting, Working, Done };
    // Skipped: found, but not to be written (already current, newer, another
    // model). NotVerified: written, but it did not come back in time, or its
    // version could not be read when it did.
    // Interrupted: the program is ending while the unit is being written.
    enum Result {
        Pending,
        Succeeded,
        Failed,
        Lost,
        NotFound,
        NotStarted,
        Skipped,
        NotVerified,
        Interrupted
    };

    struct Unit
    {
        QString address;
        State state = Waiting;
        Result result = Pending;
        QString lastText; // the last progress text
        QString message; // why the unit ended as it did
        int percent = -1; // from the last text that carried one
        qint64 startedMs = -1; // on the scheduler's clock
        qint64 endedMs = -1;
        bool verifying = false; // succeeded, waiting to see it come back

        qint64 durationMs() const
        {
            return startedMs >= 0 && endedMs >= 0 ? endedMs - startedMs : -1;
        }
    };

    // How long a freed slot stays closed: the unit that ended has just closed
    // its connection, and the next one should not overlap it on the wire.
    static constexpr int kSlotSettleMs = 250;

    // table: the device table, or the tests' stand-in with the same progress
    // signal and fwUpdateStart.
    template<typename Table>
    UpdateScheduler(Table *table, UnitDirectory *directory, QObject *parent = nullptr)
        : UpdateScheduler(directory, parent)
    {
        connect(table, &Table::toui_fwup_progress, this, &UpdateScheduler::slot_progress);
        m_startUnit = [table](const QString &address, const QString &password,
                              const QString &port) {
            table->fwUpdateStart(address, password, port);
        };
    }

    void setPassword(const QString &password) { m_password = password; }
    void setPort(const QString &port) { m_port = port; }
    void setParallel(int parallel) { m_parallel = qMax(1, parallel); }

    // Begins the run with the units asked for, in this order. A unit the
    // directory does not hold now ends at once as not found; one in `skips`
    // ends at once as skipped, with its reason.
    void start(const QStringList &requested, const QHash<QString, QString> &skips = {});
    // Whether a unit that succeeds is then awaited for the proof that it runs
    // the image (verifying), marked before unitFinished, so that whoever
    // hears of its end knows it, whatever the order of connections. Off
    // until the command turns it on.
    void setAwaitProof(bool await) { m_awaitProof = await; }
    // What became of an awaited unit after it restarted: its final result
    // and message (Succeeded, Failed or NotVerified).
    void setVerified(const QString &address, Result result, const QString &message);
    // Ctrl-C: no unit is started any more; waiting units end as not started,
    // running ones carry on to their own end.
    void stopStarting();
    // The system is about to end the program (a Windows console closed,
    // log-off, shut-down): nothing more is started, and every unit that is
    // working ends now as interrupted, `why` and what it was doing in its
    // message, so that each has its result (and its history line) before
    // the process goes. Its run is left to the table's tear-down.
    void endWorking(const QString &why);

    bool isFinished() const { return m_finished; }
    bool isStopping() const { return m_stopStarting; }
    const QList<Unit> &units() const { return m_units; }
    const Unit *unit(const QString &address) const;
    int workingCount() const;
    int waitingCount() const;
    int verifyingCount() const;
    // The most units that were working at the same time.
    int peakWorking() const { return m_peakWorking; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    static QString resultName(Result result);

signals:
    void unitWaiting(const QString &address);
    void unitStarted(const QString &address);
    void unitProgress(const QString &address, const QString &text);
    void unitFinished(const QString &address);
    void unitVerified(const QString &address);
    void finished();

private slots:
    void slot_progress(QString arg_progress, QString arg_ipaddr);
    void slot_unitRemoved(const QString &address);
    void fill();

private:
    UpdateScheduler(UnitDirectory *directory, QObject *parent);

    Unit *find(const QString &address);
    void finish(Unit *unit, Result result, const QString &message);
    void scheduleFill(int delayMs);
    void checkFinished();

    // The table's fwUpdateStart.
    std::function<void(const QString &, const QString &, const QString &)> m_startUnit;
    UnitDirectory *m_directory;
    QString m_password;
    QString m_port = QStringLiteral("54726");
    int m_parallel = 5;
    QList<Unit> m_units;
    QElapsedTimer m_clock;
    int m_settling = 0; // slots freed less than kSlotSettleMs ago
    int m_peakWorking = 0;
    bool m_started = false;
    bool m_stopStarting = false;
    bool m_awaitProof = false;
    bool m_finished = false;
    bool m_fillQueued = false;
    bool m_waitingAnnounced = false;
    QString m_starting; // the unit inside fwUpdateStart right now
    bool m_startAnswered = false;
};
