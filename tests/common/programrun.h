#pragma once

// Runs a program the way a script does and keeps what it left: the exit
// status and both output streams. Waiting runs the event loop, so the test's
// own sockets and timers keep working meanwhile. kvx-update's --json lines
// are read back with jsonLines() and its summary, the last line, with
// summaryOf() and summaryUnits().

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

struct ProgramRun
{
    int status = -1; // the exit code; -1 when it crashed or did not end in time
    QByteArray out;
    QByteArray err;
};

struct ProgramCall
{
    QStringList command; // the program and its arguments, behind any wrapper
    QStringList setEnv; // "NAME=value"
    QStringList unsetEnv;
    // In a new session, without a controlling terminal: a prompt must never
    // wait for someone at this machine's keyboard.
    bool newSession = false;
    bool emptyInput = false; // stdin at end of file from the start
    int timeoutMs = 60000;
};

inline ProgramRun runProgram(const ProgramCall &call)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : call.unsetEnv)
        env.remove(name);
    for (const QString &e : call.setEnv)
        env.insert(e.section(QLatin1Char('='), 0, 0), e.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    if (call.emptyInput)
        process.setStandardInputFile(QProcess::nullDevice());
    QStringList command = call.command;
    if (call.newSession)
        command = QStringList{ QStringLiteral("setsid"), QStringLiteral("-w") } + command;
    process.start(command.value(0), command.mid(1));
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < call.timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ProgramRun result;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Every line of `out` as a JSON object; none at all when one line is not a
// JSON object, so that the caller's checks fail on it.
inline QList<QJsonObject> jsonLines(const QByteArray &out)
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject())
            return {};
        objects << doc.object();
    }
    return objects;
}

inline QJsonObject summaryOf(const QByteArray &out)
{
    const QList<QJsonObject> objects = jsonLines(out);
    return objects.isEmpty() ? QJsonObject() : objects.last();
}

// The summary's units by address.
inline QHash<QString, QJsonObject> summaryUnits(const QJsonObject &summary)
{
    QHash<QString, QJsonObject> units;
    for (const QJsonValue &v : summary.value(QStringLiteral("units")).toArray())
        units.insert(v.toObject().value(QStringLiteral("address")).toString(), v.toObject());
    return units;
}
