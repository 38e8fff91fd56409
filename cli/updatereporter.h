#pragma once

#include "cli/consoleoutput.h"
#include "cli/updatescheduler.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>

class QIODevice;
class UnitDirectory;
struct RunImage;
struct UnitInfo;

// Everything kvx-update prints while it searches and updates, in one of three
// forms: plain lines with a time stamp and the unit's address (for logs and
// pipes), a live display with a progress bar per running unit (on a terminal),
// or one JSON object per line (for programs).
class UpdateReporter : public QObject
{
    Q_OBJECT

public:
    enum Mode { Plain, Terminal, Json };

    UpdateReporter(Mode mode, QIODevice *out, QObject *parent = nullptr);

    // JSON when asked for; the live display only where the cursor can move
    // back over it; plain lines everywhere else.
    static Mode modeFor(bool json, ConsoleOutput::Kind output);

    Mode mode() const { return m_mode; }
    void setTerminalWidth(int columns) { m_width = columns; }
    void setImageSize(qint64 size) { m_imageSize = size; }
    // Where the bars get their byte counts; without it they are estimated
    // from the percentage of the last progress text.
    void setSentBytesProbe(std::function<qint64(const QString &)> probe)
    {
        m_probe = std::move(probe);
    }
    // Tests fix the clock; the program uses the current time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    void attach(UpdateScheduler *scheduler, UnitDirectory *directory);

    void image(const RunImage &info);
    void searching(double seconds);
    void found(const UnitInfo &unit);
    void searchEnded(int count);
    void notice(const QString &text);
    void summary(int exitStatus);

    // The live display's lines as they would be drawn now (terminal mode).
    QStringList liveLines();
    // One running unit's line on the terminal.
    static QString unitLine(const QString &address, const QString &text, int percent, qint64 sent,
                            qint64 total, double bytesPerSecond);

public slots:
    void redraw();

private slots:
    void slot_waiting(const QString &address);
    void slot_started(const QString &address);
    void slot_progress(const QString &address, const QString &text);
    void slot_finished(const QString &address);
    void slot_verified(const QString &address);

private:
    struct Sample
    {
        qint64 ms;
        qint64 bytes;
    };
    struct Live
    {
        QVector<Sample> samples;
    };

    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTime(); }
    void writeText(const QString &text);
    void flush();
    void writeLine(const QString &line); // a line that stays, above the live display
    void writeJson(const QJsonObject &object);
    void writeUnitLine(const QString &address, const QString &text);
    void eraseLive();
    qint64 sentBytes(const UpdateScheduler::Unit &unit) const;
    double rateOf(const QString &address, qint64 bytes);
    QJsonObject unitJson(const UpdateScheduler::Unit &unit) const;

    Mode m_mode;
    QIODevice *m_out;
    UpdateScheduler *m_scheduler = nullptr;
    UnitDirectory *m_directory = nullptr;
    int m_width = 80;
    qint64 m_imageSize = 0;
    std::function<qint64(const QString &)> m_probe;
    std::function<QDateTime()> m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_redrawTimer;
    int m_liveShown = 0; // lines of the live display now on the screen
    QHash<QString, Live> m_live;
};
