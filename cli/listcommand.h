#pragma once

#include "cli/cliarguments.h"
#include "core/runimage.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QIODevice;
class UnitDirectory;
struct UnitInfo;

// kvx-update list: searches for the given time, then prints the units found.
class ListCommand : public QObject
{
    Q_OBJECT

public:
    ListCommand(const CliArguments &arguments, UnitDirectory *directory, const RunImage &image,
                QIODevice *out, QIODevice *err, QObject *parent = nullptr);

    // Where a unit's identity warnings come from (the table's
    // identityWarnings); none without.
    using WarningSource = std::function<QStringList(const QString &address)>;
    void setWarningSource(WarningSource source) { m_warningSource = std::move(source); }

    void start();
    // What the units look like on paper: a table, or a JSON array, each unit
    // with its status against the image. A unit's identity warnings (by
    // address) follow the table as "warning: <address>: <text>" lines, or are
    // its "warnings" array in JSON (empty when none), texts exact there.
    static QByteArray render(const QList<UnitInfo> &units, bool json, const RunImage &image,
                             const QHash<QString, QStringList> &warnings = {});
    // "current", "older", "newer", "unknown" or "other-model".
    static QString status(const UnitInfo &unit, const RunImage &image);

public slots:
    void interrupt(int signalNumber);

signals:
    void done(int exitStatus);

private slots:
    void finish();

private:
    CliArguments m_arguments;
    UnitDirectory *m_directory;
    RunImage m_image;
    QIODevice *m_out;
    QIODevice *m_err;
    QTimer m_timer;
    WarningSource m_warningSource;
    int m_interruptedBy = 0;
    bool m_finished = false;
};
