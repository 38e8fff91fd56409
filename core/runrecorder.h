#pragma once

#include "core/runhistory.h"
#include "core/unitrunrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// The window's record of its update runs (published to QML as "runrecorder").
// The list tells it when a run begins, when each unit starts and how each
// unit's run ended; every end becomes a line of the run history at once, and
// the units of the latest run can be saved as a report.
class RunRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int recordCount READ recordCount NOTIFY recordsChanged)
    Q_PROPERTY(QString historyError READ historyError NOTIFY historyErrorChanged)

public:
    // program: the name written into every record, with the version.
    explicit RunRecorder(const QString &program, QObject *parent = nullptr);
    // Units still restarting get their line as they are: nothing more will
    // be known of them.
    ~RunRecorder() override;

    // The image the runs write. Its SHA-256 is taken when the first record
    // needs it, not at start-up.
    void setImage(const QByteArray &image);
    void setHistory(const RunHistory &history) { m_history = history; }
    const RunHistory &history() const { return m_history; }
    // Where reports go by default; the Documents folder unless set.
    void setReportFolder(const QString &folder) { m_reportFolder = folder; }
    // Tests fix the clock; the program uses the current time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    int recordCount() const { return m_records.size(); }
    const QList<UnitRunRecord> &records() const { return m_records; }
    // Why the last line could not be added to the history; empty when it was.
    QString historyError() const { return m_historyError; }

    // A new run: the records of the one before are forgotten (the history
    // keeps them).
    Q_INVOKABLE void beginRun();
    Q_INVOKABLE void unitStarted(const QString &address);
    // The keys: address, model, nickname, versionBefore, versionAfter, result,
    // lastText. A unit whose end was already recorded in this run is not
    // recorded again. False when nothing was recorded. With awaitProof true
    // (a unit that completed and now restarts) the report has it at once,
    // the history once unitBack() says what it came back with.
    Q_INVOKABLE bool unitEnded(const QVariantMap &unit);
    // A unit that restarted after its update answers again, running
    // versionAfter; updated false when that is not the image (the write did
    // not take). False when no line waited for it.
    Q_INVOKABLE bool unitBack(const QString &address, const QString &versionAfter, bool updated);
    // Units of the latest run that completed and have not come back yet.
    Q_INVOKABLE int restartingCount() const;
    // Drops the lines that wait for their units, unwritten (for a fresh
    // start where the history itself is thrown away).
    void discardAwaiting() { m_awaiting.clear(); }
    Q_INVOKABLE bool hasEnded(const QString &address) const;

    // "<Documents>/kvx-report-2024-05-01-140307.csv", for the time now.
    Q_INVOKABLE QString defaultReportPath() const;
    // A path as typed (relative to the report folder) or a file URL, made
    // absolute; empty for an empty text.
    Q_INVOKABLE QString reportPath(const QString &pathOrUrl) const;
    Q_INVOKABLE bool fileExists(const QString &pathOrUrl) const;
    // Writes the latest run's report; the empty text on success, otherwise
    // what went wrong. The run's records stay either way.
    Q_INVOKABLE QString saveReport(const QString &pathOrUrl);

signals:
    void recordsChanged();
    void historyErrorChanged();

private:
    void appendToHistory(const UnitRunRecord &record);
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    const RunImage &image();
    QString reportFolder() const;

    QString m_program;
    QByteArray m_imageBytes;
    RunImage m_image;
    bool m_imageKnown = false;
    RunHistory m_history;
    QString m_reportFolder;
    std::function<QDateTime()> m_clock;
    QDateTime m_run;
    QHash<QString, QDateTime> m_started;
    QList<UnitRunRecord> m_records;
    // The history lines that wait for their unit to come back, by address;
    // kept across runs.
    QHash<QString, UnitRunRecord> m_awaiting;
    QString m_historyError;
};
