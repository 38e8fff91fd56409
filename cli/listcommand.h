#pragma once

#include "cli/cliarguments.h"
#include "core/runimage.h"

#include <QObject>
#include <QTimer>

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

    void start();
    // What the units look like on paper: a table, or a JSON array, each unit
    // with its status against the image.
    static QByteArray render(const QList<UnitInfo> &units, bool json, const RunImage &image);
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
    int m_interruptedBy = 0;
    bool m_finished = false;
};
