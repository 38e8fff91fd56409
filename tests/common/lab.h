#pragma once

// Helpers for tests that run on the updater side of the network lab
// (tools/netlab): start kvx-devsim on the device side, read its results, stop it.
//
//     if (!labAvailable())
//         QSKIP("needs the network lab (tools/netlab)");
//     LabDevSim sim;
//     QVERIFY2(sim.start(LabDevSim::config({LabDevSim::unit(labDeviceAddresses().at(0))})),
//              qPrintable(sim.errorString()));
//     ... talk to 10.77.0.10 ...
//     const QJsonObject unit = sim.unitResults(labDeviceAddresses().at(0));
//
// Waiting runs the event loop, so sockets and timers of the test keep working.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <signal.h>
#include <sys/types.h>

// True inside netlab (the device namespace is known); false elsewhere, where lab
// tests skip (QSKIP, or exit code 77 for plain programs).
inline bool labAvailable()
{
    return !qEnvironmentVariableIsEmpty("KVX_LAB_NS_DEV");
}

inline QStringList labDeviceAddresses()
{
    return qEnvironmentVariable("KVX_LAB_DEVICE_ADDRS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

inline QString labUpdaterAddress()
{
    return qEnvironmentVariable("KVX_LAB_UPDATER_ADDR", QStringLiteral("10.77.0.1"));
}

// A program run by hand inside the lab starts the simulator of its own build
// tree (`relative` to the program's folder) unless KVX_DEVSIM names another.
// Call once the application object exists.
inline void labUseDevsimOfThisBuild(const QString &relative)
{
    if (qEnvironmentVariableIsEmpty("KVX_DEVSIM"))
        qputenv("KVX_DEVSIM",
                QDir(QCoreApplication::applicationDirPath()).filePath(relative).toLocal8Bit());
}

// Runs the event loop until `done` holds or the time is up; returns `done()`.
inline bool labWaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return done();
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

class LabDevSim
{
public:
    LabDevSim() = default;
    LabDevSim(const LabDevSim &) = delete;
    LabDevSim &operator=(const LabDevSim &) = delete;
    ~LabDevSim() { stop(); }

    // One unit's configuration: the address and whatever `settings` adds.
    static QJsonObject unit(const QString &address, QJsonObject settings = QJsonObject())
    {
        settings.insert(QStringLiteral("address"), address);
        return settings;
    }

    // A whole configuration from unit objects and top-level settings.
    static QJsonObject config(const QList<QJsonObject> &units, QJsonObject settings = QJsonObject())
    {
        QJsonArray array;
        for (const QJsonObject &u : units)
            array.append(u);
        settings.insert(QStringLiteral("units"), array);
        return settings;
    }

    // Starts kvx-devsim in the device namespace and waits for its "ready".
    bool start(const QJsonObject &config, int timeoutMs = 15000)
    {
        stop();
        m_error.clear();
        m_stdout.clear();
        if (!labAvailable())
            return fail(QStringLiteral("not inside the network lab (KVX_LAB_NS_DEV is unset)"));
        const QString devsim = qEnvironmentVariable("KVX_DEVSIM");
        if (devsim.isEmpty())
            return fail(QStringLiteral("KVX_DEVSIM is unset"));
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary directory"));
        m_configPath = m_dir.filePath(QStringLiteral("devsim-config-%1.json").arg(++m_runs));
        m_resultsPath = m_dir.filePath(QStringLiteral("devsim-results-%1.json").arg(m_runs));
        QFile file(m_configPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(config).toJson()) < 0)
            return fail(QStringLiteral("cannot write %1").arg(m_configPath));
        file.close();

        m_process = new QProcess;
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // `ip netns exec` execs the program in place, so the process id is
        // kvx-devsim's own and signals reach it directly.
        m_process->start(QStringLiteral("ip"),
                         { QStringLiteral("netns"), QStringLiteral("exec"),
                           qEnvironmentVariable("KVX_LAB_NS_DEV"), devsim,
                           QStringLiteral("--config"), m_configPath, QStringLiteral("--results"),
                           m_resultsPath });
        const bool ready = labWaitUntil(
                [this] {
                    m_stdout += m_process->readAllStandardOutput();
                    return m_stdout.contains("ready\n")
                            || m_process->state() == QProcess::NotRunning;
                },
                timeoutMs);
        if (!ready || !m_stdout.contains("ready\n")) {
            const QString why = m_process->state() == QProcess::NotRunning
                    ? QStringLiteral("kvx-devsim ended with code %1").arg(m_process->exitCode())
                    : QStringLiteral("kvx-devsim did not get ready in time");
            stop();
            return fail(why);
        }
        return true;
    }

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }

    // Asks the running simulator for its results (SIGUSR1) and reads them.
    QJsonObject results(int timeoutMs = 10000)
    {
        if (!isRunning()) {
            fail(QStringLiteral("kvx-devsim is not running"));
            return m_last;
        }
        QFile::remove(m_resultsPath);
        ::kill(pid_t(m_process->processId()), SIGUSR1);
        // The file is replaced in one rename, so once it is there it is whole.
        if (!labWaitUntil([this] { return QFile::exists(m_resultsPath); }, timeoutMs)) {
            fail(QStringLiteral("kvx-devsim wrote no results"));
            return QJsonObject();
        }
        return readResults();
    }

    // The results of one unit, by address, from a fresh results() call.
    QJsonObject unitResults(const QString &address, int timeoutMs = 10000)
    {
        return findUnit(results(timeoutMs), address);
    }

    static QJsonObject findUnit(const QJsonObject &results, const QString &address)
    {
        const QJsonArray units = results.value(QStringLiteral("units")).toArray();
        for (const QJsonValue &u : units) {
            if (u.toObject().value(QStringLiteral("address")).toString() == address)
                return u.toObject();
        }
        return QJsonObject();
    }

    // What the simulator found wrong in what a unit received ("violations").
    static QStringList violations(const QJsonObject &unit)
    {
        QStringList out;
        const QJsonArray array = unit.value(QStringLiteral("violations")).toArray();
        for (const QJsonValue &v : array)
            out << v.toString();
        return out;
    }

    // Ends the simulator (SIGTERM) and returns its final results; an empty
    // object if it was not running. errorString() afterwards is empty when it
    // ended cleanly (exit code 0).
    QJsonObject stop(int timeoutMs = 10000)
    {
        if (!m_process)
            return QJsonObject();
        m_error.clear();
        QJsonObject final;
        if (m_process->state() != QProcess::NotRunning) {
            QFile::remove(m_resultsPath);
            ::kill(pid_t(m_process->processId()), SIGTERM);
            if (!labWaitUntil([this] { return m_process->state() == QProcess::NotRunning; },
                              timeoutMs)) {
                m_process->kill();
                m_process->waitForFinished(2000);
                fail(QStringLiteral("kvx-devsim did not end on SIGTERM"));
            } else if (m_process->exitStatus() != QProcess::NormalExit
                       || m_process->exitCode() != 0) {
                fail(QStringLiteral("kvx-devsim ended with code %1").arg(m_process->exitCode()));
            }
            if (QFile::exists(m_resultsPath))
                final = readResults();
        }
        delete m_process;
        m_process = nullptr;
        return final;
    }

    QString errorString() const { return m_error; }
    QString resultsPath() const { return m_resultsPath; }
    QJsonObject lastResults() const { return m_last; }

private:
    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    QJsonObject readResults()
    {
        QFile file(m_resultsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("cannot read %1").arg(m_resultsPath));
            return QJsonObject();
        }
        m_last = QJsonDocument::fromJson(file.readAll()).object();
        return m_last;
    }

    QTemporaryDir m_dir;
    QProcess *m_process = nullptr;
    QByteArray m_stdout;
    QString m_configPath;
    QString m_resultsPath;
    QString m_error;
    QJsonObject m_last;
    int m_runs = 0;
};
