#pragma once

#include "core/runhistory.h"
#include "core/runimage.h"
#include "core/unitrunrecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

class UnitDirectory;
class UpdateScheduler;

// kvx-update's record of its run, as the window keeps one: a line of the run
// history for every unit the moment its run ends (units that were not found
// or not started included), and the rows of the --report file. A unit that is
// awaited after its update ends when the proof is in: its line then carries
// the version it came back with, and "not updated" when that is not the
// image's.
class RunLog : public QObject
{
    Q_OBJECT

public:
    RunLog(UpdateScheduler *scheduler, UnitDirectory *directory, const RunImage &image,
           const QString &program, QObject *parent = nullptr);
    // Lines of units still awaited are written as they stand.
    ~RunLog() override;

    void setHistory(const RunHistory &history) { m_history = history; }
    // Tests fix the clock; the program uses the current time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // In the order the units' runs ended.
    const QList<UnitRunRecord> &records() const { return m_records; }

signals:
    // A line could not be added; said once per run, with the reason.
    void historyFailed(const QString &message);

private slots:
    void slot_started(const QString &address);
    void slot_finished(const QString &address);
    void slot_verified(const QString &address);

private:
    void append(const UnitRunRecord &record);
    QString versionOf(const QString &address) const;
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }

    UpdateScheduler *m_scheduler;
    UnitDirectory *m_directory;
    RunImage m_image;
    QString m_program;
    RunHistory m_history;
    std::function<QDateTime()> m_clock;
    QDateTime m_run;
    QHash<QString, QDateTime> m_started;
    QList<UnitRunRecord> m_records;
    QHash<QString, UnitRunRecord> m_awaitingProof;
    bool m_failureSaid = false;
};
