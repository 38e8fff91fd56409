// kvx-update against simulated racks in the network lab: what it finds, what
// each unit receives, what it reports and with which exit status.
#include "common/lab.h"
#include "common/programrun.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

class TestCliLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void listFindsExactlyTheUnits_data();
    void listFindsExactlyTheUnits();
    void updateAllEight();
    void failingRack_data();
    void failingRack();
    void namedUnitNotAnswering_data();
    void namedUnitNotAnswering();
    void parallelTwo();
    void interruptLetsRunningUnitsFinish();
    void waitingUnitThatLeavesIsLost();
    void readerGoneDoesNotStopTheUpdate();
    void directUpdate_data();
    void directUpdate();
    void fieldBehaviours();

private:
    using Run = ProgramRun;
    Run run(const QStringList &arguments, const QStringList &extraEnv = QStringList());
    static QStringList updateOptions(const QStringList &arguments);
    bool startSim(const QList<QJsonObject> &units, const QJsonObject &settings = QJsonObject());
    QJsonObject unit(int i, QJsonObject settings = QJsonObject()) const;

    LabDevSim m_sim;
    QStringList m_addresses;
    QString m_program;
    QByteArray m_imageSha;
    QByteArray m_everything; // every byte every run printed, for the password check
    int m_runs = 0;
};

namespace {

// Distinctive enough that finding it anywhere in the output is no accident.
const QByteArray kPassword = "Rack-Pa55-7781!";

} // namespace

void TestCliLab::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    m_addresses = labDeviceAddresses();
    QVERIFY(m_addresses.size() >= 17);
    m_program = qEnvironmentVariable("KVX_CLI");
    QVERIFY2(QFile::exists(m_program), "KVX_CLI does not name kvx-update");
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_imageSha = QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex();
}

void TestCliLab::cleanup()
{
    m_sim.stop();
}

void TestCliLab::cleanupTestCase()
{
    // Whatever was run above, in every output form and with every diagnostic
    // switched on: the password never shows.
    if (m_runs > 0)
        QVERIFY(!m_everything.isEmpty());
    QVERIFY2(!m_everything.contains(kPassword), "the password appeared in kvx-update's output");
}

// These cases are about running units, not about their versions (those are
// tst_cli_versions_lab's): the simulated units (ZP-9E unless named otherwise)
// are written although the image is VK-3F's, and nobody waits for their
// restart.
QStringList TestCliLab::updateOptions(const QStringList &arguments)
{
    if (arguments.value(0) != QLatin1String("update"))
        return {};
    return { QStringLiteral("--any-model"), QStringLiteral("--no-verify") };
}

QJsonObject TestCliLab::unit(int i, QJsonObject settings) const
{
    if (!settings.contains(QLatin1String("password")))
        settings.insert(QStringLiteral("password"), QString::fromUtf8(kPassword));
    return LabDevSim::unit(m_addresses.at(i), settings);
}

bool TestCliLab::startSim(const QList<QJsonObject> &units, const QJsonObject &settings)
{
    if (m_sim.start(LabDevSim::config(units, settings)))
        return true;
    qWarning("%s", qPrintable(m_sim.errorString()));
    return false;
}

TestCliLab::Run TestCliLab::run(const QStringList &arguments, const QStringList &extraEnv)
{
    ProgramCall call;
    call.command = QStringList{ m_program } + arguments + updateOptions(arguments);
    // Every diagnostic on: the password must not leak through those either.
    call.setEnv = QStringList{ QStringLiteral("KVX_PASSWORD=") + QString::fromUtf8(kPassword),
                               QStringLiteral("QT_LOGGING_RULES=kvx.*.debug=true") }
            + extraEnv;
    call.timeoutMs = 120000;
    const Run result = runProgram(call);
    m_everything += result.out + result.err;
    ++m_runs;
    return result;
}

void TestCliLab::listFindsExactlyTheUnits_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("table") << false;
    QTest::newRow("json") << true;
}

void TestCliLab::listFindsExactlyTheUnits()
{
    QFETCH(bool, json);
    // Three units, and from another lab address a router, a media server and a
    // look-alike answering every search.
    QVERIFY(startSim(
            { unit(2,
                   { { "model", "VK-3F" }, { "nickname", "Stage Left" }, { "version", "1.03" } }),
              unit(0, { { "model", "ZP-9E" }, { "nickname", "FOH" } }),
              unit(1,
                   { { "model", "RT-6C" },
                     { "nickname", "Monitor \"B\"" },
                     { "version", "2.10" } }) },
            { { "foreign", true }, { "foreignAddress", m_addresses.at(11) } }));

    QStringList arguments{ QStringLiteral("list"), QStringLiteral("--wait"), QStringLiteral("3") };
    if (json)
        arguments << QStringLiteral("--json");
    const Run r = run(arguments);
    QCOMPARE(r.status, 0);
    QVERIFY(m_sim.results().value(QStringLiteral("foreignSent")).toInt() > 0);

    if (json) {
        const QJsonArray units = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(units.size(), 3);
        const QStringList expected[] = {
            { m_addresses.at(0), "ZP-9E", "FOH", "1.02", "other-model" },
            { m_addresses.at(1), "RT-6C", "Monitor \"B\"", "2.10", "other-model" },
            { m_addresses.at(2), "VK-3F", "Stage Left", "1.03", "older" }
        };
        for (int i = 0; i < 3; ++i) {
            const QJsonObject u = units.at(i).toObject();
            QCOMPARE((QStringList{ u.value("address").toString(), u.value("model").toString(),
                                   u.value("nickname").toString(), u.value("version").toString(),
                                   u.value("status").toString() }),
                     expected[i]);
        }
    } else {
        const QString expected =
                QStringLiteral("ADDRESS     MODEL  NICKNAME     VERSION  STATUS\n"
                               "%1  ZP-9E  FOH          1.02     other-model\n"
                               "%2  RT-6C  Monitor \"B\"  2.10     other-model\n"
                               "%3  VK-3F  Stage Left   1.03     older\n")
                        .arg(m_addresses.at(0), m_addresses.at(1), m_addresses.at(2));
        QCOMPARE(QString::fromUtf8(r.out), expected);
    }
    // Listing contacts no unit over TCP.
    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value("peakConnections").toInt(), 0);
}

void TestCliLab::updateAllEight()
{
    QList<QJsonObject> units;
    for (int i = 0; i < 8; ++i)
        units << unit(i);
    QVERIFY(startSim(units));

    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"), QStringLiteral("--wait"),
                        QStringLiteral("3") });
    QCOMPARE(r.status, 0);

    const QJsonObject results = m_sim.results();
    for (int i = 0; i < 8; ++i) {
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString().toLatin1(), m_imageSha);
        QCOMPARE(u.value("endAcknowledged").toBool(), true);
        QCOMPARE(u.value("connections").toInt(), 1); // one run per unit
        QCOMPARE(u.value("violations").toArray().size(), 0);
    }
    QVERIFY(results.value("peakConnections").toInt() <= 5);

    // The summary names every unit once, as succeeded.
    const QString out = QString::fromUtf8(r.out);
    QVERIFY2(out.contains("Summary: 8 succeeded, 0 failed, 0 lost, 0 not found, 0 not started"),
             r.out.constData());
    for (int i = 0; i < 8; ++i) {
        const QRegularExpression row(
                QStringLiteral("^%1 +ZP-9E +Unit %2 +1\\.02 +succeeded +\\d+\\.\\d s "
                               "+Firmware update completed\\.$")
                        .arg(QRegularExpression::escape(m_addresses.at(i)))
                        .arg(i + 1),
                QRegularExpression::MultilineOption);
        QVERIFY2(row.match(out).hasMatch(), qPrintable(m_addresses.at(i)));
    }
    // Not a terminal: one time-stamped line per progress text.
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"
                                              "\\S* %1 Sending\\.\\.\\. 50%$")
                                       .arg(QRegularExpression::escape(m_addresses.at(3))),
                               QRegularExpression::MultilineOption)
                    .match(out)
                    .hasMatch());
}

void TestCliLab::failingRack_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("summary table") << false;
    QTest::newRow("json") << true;
}

void TestCliLab::failingRack()
{
    QFETCH(bool, json);
    // Six units: unit 1 does not take the password, unit 3 drops the
    // connection halfway through the image.
    QVERIFY(startSim({ unit(0), unit(1, { { "password", "something-else" } }), unit(2),
                       unit(3, { { "faults", QJsonObject{ { "closeAtOffset", 262144 } } } }),
                       unit(4), unit(5) }));

    QStringList arguments{ QStringLiteral("update"), QStringLiteral("--all"),
                           QStringLiteral("--wait"), QStringLiteral("3") };
    if (json)
        arguments << QStringLiteral("--json");
    const Run r = run(arguments);
    QCOMPARE(r.status, 1);

    const QJsonObject results = m_sim.results();
    for (int i : { 0, 2, 4, 5 })
        QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i))
                         .value("sha256")
                         .toString()
                         .toLatin1(),
                 m_imageSha);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(1)).value("logins").toInt(), 0);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(1)).value("connections").toInt(), 1);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(3)).value("endAcknowledged").toBool(),
             false);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(3)).value("connections").toInt(),
             1); // not retried

    if (json) {
        const QJsonObject summary = summaryOf(r.out);
        QCOMPARE(summary.value("event").toString(), QStringLiteral("summary"));
        QCOMPARE(summary.value("exitStatus").toInt(), 1);
        QCOMPARE(summary.value("succeeded").toInt(), 4);
        QCOMPARE(summary.value("failed").toInt(), 2);
        const QHash<QString, QJsonObject> units = summaryUnits(summary);
        QCOMPARE(units.size(), 6);
        for (int i = 0; i < 6; ++i) {
            const QJsonObject u = units.value(m_addresses.at(i));
            const bool bad = i == 1 || i == 3;
            QCOMPARE(u.value("result").toString(),
                     bad ? QStringLiteral("failed") : QStringLiteral("succeeded"));
            if (bad)
                QVERIFY2(u.value("message").toString().startsWith("ERROR: "),
                         qPrintable(u.value("message").toString()));
            else
                QCOMPARE(u.value("message").toString(),
                         QStringLiteral("Firmware update completed."));
            QVERIFY(u.value("seconds").toDouble() > 0);
        }
        // Each unit's own result event says the same as the summary.
        int resultEvents = 0;
        for (const QJsonObject &event : jsonLines(r.out)) {
            if (event.value("event").toString() != QLatin1String("result"))
                continue;
            ++resultEvents;
            const QJsonObject u = units.value(event.value("address").toString());
            QCOMPARE(event.value("result"), u.value("result"));
            QCOMPARE(event.value("message"), u.value("message"));
        }
        QCOMPARE(resultEvents, 6);
    } else {
        const QString out = QString::fromUtf8(r.out);
        QVERIFY2(out.contains("Summary: 4 succeeded, 2 failed, 0 lost, 0 not found, 0 not started"),
                 r.out.constData());
        for (int i = 0; i < 6; ++i) {
            const bool bad = i == 1 || i == 3;
            const QRegularExpression row(
                    QStringLiteral("^%1 +ZP-9E +Unit %2 +1\\.02 +%3 +\\d+\\.\\d s +%4")
                            .arg(QRegularExpression::escape(m_addresses.at(i)))
                            .arg(i + 1)
                            .arg(bad ? "failed" : "succeeded",
                                 bad ? "ERROR: " : "Firmware update completed\\.$"),
                    QRegularExpression::MultilineOption);
            QVERIFY2(row.match(out).hasMatch(), qPrintable(m_addresses.at(i)));
        }
    }
}

void TestCliLab::namedUnitNotAnswering_data()
{
    QTest::addColumn<bool>("alsoNameOne");
    QTest::addColumn<int>("status");
    QTest::newRow("only the silent one") << false << 2;
    QTest::newRow("one that answers too") << true << 1;
}

void TestCliLab::namedUnitNotAnswering()
{
    QFETCH(bool, alsoNameOne);
    QVERIFY(startSim({ unit(0) }));
    const QString silent = m_addresses.at(9); // in the lab, but no unit there
    QStringList arguments{ QStringLiteral("update"), silent, QStringLiteral("--wait"),
                           QStringLiteral("3"), QStringLiteral("--json") };
    if (alsoNameOne)
        arguments << m_addresses.at(0);
    const Run r = run(arguments);
    QTEST(r.status, "status");

    const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
    QCOMPARE(units.value(silent).value("result").toString(), QStringLiteral("not found"));
    if (alsoNameOne)
        QCOMPARE(units.value(m_addresses.at(0)).value("result").toString(),
                 QStringLiteral("succeeded"));
    else
        QCOMPARE(m_sim.results().value("peakConnections").toInt(), 0);
}

void TestCliLab::parallelTwo()
{
    // Units that take a while to write, so that runs overlap.
    QList<QJsonObject> units;
    for (int i = 0; i < 6; ++i)
        units << unit(i, { { "writeDelayMs", 400 } });
    QVERIFY(startSim(units));
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"),
                        QStringLiteral("--parallel"), QStringLiteral("2"), QStringLiteral("--wait"),
                        QStringLiteral("3"), QStringLiteral("--json") });
    QCOMPARE(r.status, 0);
    const QJsonObject results = m_sim.results();
    QCOMPARE(results.value("peakConnections").toInt(), 2);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i)).value("connections").toInt(), 1);
}

void TestCliLab::interruptLetsRunningUnitsFinish()
{
    QList<QJsonObject> units;
    for (int i = 0; i < 5; ++i)
        units << unit(i, { { "writeDelayMs", 2000 } });
    QVERIFY(startSim(units));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KVX_PASSWORD"), QString::fromUtf8(kPassword));
    process.setProcessEnvironment(env);
    process.start(m_program,
                  QStringList{ QStringLiteral("update"), QStringLiteral("--all"),
                               QStringLiteral("--parallel"), QStringLiteral("2"),
                               QStringLiteral("--wait"), QStringLiteral("3"),
                               QStringLiteral("--json") }
                          + updateOptions({ QStringLiteral("update") }));
    QByteArray out;
    // Ctrl-C once both running units are writing their image.
    QVERIFY(labWaitUntil(
            [&] {
                out += process.readAllStandardOutput();
                return out.count("\"text\":\"Writing\"") >= 2
                        || process.state() == QProcess::NotRunning;
            },
            60000));
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(labWaitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
    out += process.readAllStandardOutput();
    m_everything += out + process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);

    const QHash<QString, QJsonObject> summary = summaryUnits(summaryOf(out));
    QCOMPARE(summary.size(), 5);
    int succeeded = 0;
    int notStarted = 0;
    const QJsonObject results = m_sim.results();
    for (int i = 0; i < 5; ++i) {
        const QString result = summary.value(m_addresses.at(i)).value("result").toString();
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        if (result == QLatin1String("succeeded")) {
            ++succeeded;
            QCOMPARE(u.value("sha256").toString().toLatin1(), m_imageSha);
        } else {
            QCOMPARE(result, QStringLiteral("not started"));
            ++notStarted;
            QCOMPARE(u.value("connections").toInt(), 0);
        }
    }
    QCOMPARE(succeeded, 2);
    QCOMPARE(notStarted, 3);
    QVERIFY(out.contains("\"event\":\"notice\""));
}

void TestCliLab::waitingUnitThatLeavesIsLost()
{
    // One at a time: unit 0 takes long to write; unit 1 waits, and meanwhile
    // stops answering searches, so the table drops it before its turn.
    QVERIFY(startSim(
            { unit(0, { { "writeDelayMs", 18000 } }), unit(1, { { "silentAfterSeconds", 4 } }) }));
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"),
                        QStringLiteral("--parallel"), QStringLiteral("1"), QStringLiteral("--wait"),
                        QStringLiteral("3"), QStringLiteral("--json") });
    QCOMPARE(r.status, 1);
    const QHash<QString, QJsonObject> summary = summaryUnits(summaryOf(r.out));
    QCOMPARE(summary.value(m_addresses.at(0)).value("result").toString(),
             QStringLiteral("succeeded"));
    QCOMPARE(summary.value(m_addresses.at(1)).value("result").toString(), QStringLiteral("lost"));
    QCOMPARE(summary.value(m_addresses.at(1)).value("message").toString(),
             QStringLiteral("the unit left the network before it could be started"));
    QCOMPARE(summaryOf(r.out).value("lost").toInt(), 1);
    QCOMPARE(LabDevSim::findUnit(m_sim.results(), m_addresses.at(1)).value("connections").toInt(),
             0);
}

void TestCliLab::readerGoneDoesNotStopTheUpdate()
{
    // "kvx-update update --all | head -3": the reader leaves early, and the
    // units must still be written to the end.
    QVERIFY(startSim({ unit(0, { { "writeDelayMs", 500 } }), unit(1, { { "writeDelayMs", 500 } }),
                       unit(2) }));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KVX_PASSWORD"), QString::fromUtf8(kPassword));
    process.setProcessEnvironment(env);
    // The pipe's reader takes one byte and leaves; the shell exits with
    // kvx-update's own status (128 + 13 had SIGPIPE ended it).
    process.start(QStringLiteral("bash"),
                  { QStringLiteral("-c"),
                    QStringLiteral("\"$0\" \"$@\" | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}"),
                    m_program, QStringLiteral("update"), QStringLiteral("--all"),
                    QStringLiteral("--wait"), QStringLiteral("3"), QStringLiteral("--any-model"),
                    QStringLiteral("--no-verify") });
    QVERIFY(labWaitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
    m_everything += process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QJsonObject results = m_sim.results();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i))
                         .value("sha256")
                         .toString()
                         .toLatin1(),
                 m_imageSha);
}

// Units that no search can see (here: they never answer one) are updated
// by address; their name and version come from the login and show in the
// summary. An address where nothing listens fails like any refused connection.
void TestCliLab::directUpdate_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("summary table") << false;
    QTest::newRow("json") << true;
}

void TestCliLab::directUpdate()
{
    QFETCH(bool, json);
    QVERIFY(startSim(
            { unit(0, { { "silentAfterSeconds", 0 }, { "model", "VK-3F" }, { "version", "1.03" } }),
              unit(1, { { "silentAfterSeconds", 0 }, { "model", "RT-6C" } }), unit(2) }));
    const QString nobody = m_addresses.at(9); // in the lab, but no unit there
    QStringList arguments{ QStringLiteral("update"), QStringLiteral("--direct"), m_addresses.at(0),
                           m_addresses.at(1), nobody };
    if (json)
        arguments << QStringLiteral("--json");
    const Run r = run(arguments);
    QCOMPARE(r.status, 1);

    const QJsonObject results = m_sim.results();
    for (int i : { 0, 1 }) {
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString().toLatin1(), m_imageSha);
        QCOMPARE(u.value("endAcknowledged").toBool(), true);
        QCOMPARE(u.value("searchesAnswered").toInt(), 0);
    }
    // Not named: not touched, though it would answer a search.
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(2)).value("connections").toInt(), 0);

    if (json) {
        const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
        QCOMPARE(units.size(), 3);
        QCOMPARE(units.value(m_addresses.at(0)).value("result").toString(),
                 QStringLiteral("succeeded"));
        QCOMPARE(units.value(m_addresses.at(0)).value("model").toString(), QStringLiteral("VK-3F"));
        QCOMPARE(units.value(m_addresses.at(0)).value("version").toString(),
                 QStringLiteral("1.03"));
        QCOMPARE(units.value(m_addresses.at(1)).value("model").toString(), QStringLiteral("RT-6C"));
        QCOMPARE(units.value(m_addresses.at(1)).value("version").toString(),
                 QStringLiteral("1.02"));
        QCOMPARE(units.value(nobody).value("result").toString(), QStringLiteral("failed"));
        QCOMPARE(units.value(nobody).value("message").toString(),
                 QStringLiteral("ERROR: Connection refused"));
        // No search event: the run began at once.
        for (const QJsonObject &event : jsonLines(r.out))
            QVERIFY(event.value("event").toString() != QLatin1String("search"));
    } else {
        const QString out = QString::fromUtf8(r.out);
        QVERIFY2(out.contains("Summary: 2 succeeded, 1 failed, 0 lost, 0 not found, 0 not started"),
                 r.out.constData());
        const QRegularExpression row(
                QStringLiteral("^%1 +VK-3F +1\\.03 +succeeded +\\d+\\.\\d s +Firmware update "
                               "completed\\.$")
                        .arg(QRegularExpression::escape(m_addresses.at(0))),
                QRegularExpression::MultilineOption);
        QVERIFY2(row.match(out).hasMatch(), r.out.constData());
        QVERIFY2(!out.contains(QLatin1String("earching")), r.out.constData());
    }
}

// The units the field brings, through kvx-update: each healthy behaviour
// completes with the exact image, a wrong password on a unit that prompts
// again is still rejected, and a unit that flushes its input at a refusal,
// losing the password that crossed its refusal of the wake-up, is asked
// once more and updated. (The unit that never ends its lines takes minutes
// at the real quiet time; the window's lab test has it.)
void TestCliLab::fieldBehaviours()
{
    const QJsonObject onConnect{ { "promptOnConnect", true } };
    auto with = [](QJsonObject settings, const QJsonObject &more) {
        for (auto it = more.begin(); it != more.end(); ++it)
            settings.insert(it.key(), it.value());
        return settings;
    };
    const QJsonObject wrong{ { "password", "other" } };
    QVERIFY(startSim(
            { unit(0, onConnect), unit(1, { { "lineEnd", "cr" } }),
              unit(2, { { "ackWords", true } }), unit(3, { { "startDelayMs", 20000 } }),
              unit(4, with(onConnect, wrong)),
              unit(5, with(wrong, { { "repromptAfterFailure", true } })),
              unit(6, with(onConnect, { { "verdictDelayMs", 1500 } })),
              unit(7, { { "lineEnd", "nul" } }), unit(8, { { "lineEnd", "crlfnul" } }),
              unit(9, { { "lineEnd", "none" } }),
              unit(10, with(onConnect, { { "refusal", "prompt" } })),
              unit(11, with(onConnect, { { "refusal", "prompt" }, { "verdictDelayMs", 1500 } })),
              unit(12, { { "replyDelayMs", 30 } }),
              unit(13, with(wrong, { { "refusal", "hangUp" } })),
              unit(14, with(wrong, { { "refusal", "silence" } })),
              unit(15, with(wrong, { { "refusal", "prompt" } })),
              unit(16, with(wrong, { { "lineEnd", "nul" } })),
              unit(17,
                   with(onConnect,
                        { { "dropInputOnFailure", true }, { "verdictDelayMs", 1500 } })) }));
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"), QStringLiteral("--wait"),
                        QStringLiteral("3"), QStringLiteral("--json") });
    QCOMPARE(r.status, 1);
    const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
    QCOMPARE(units.size(), 18);
    const QJsonObject results = m_sim.results();
    for (int i : { 0, 1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 17 }) {
        QCOMPARE(units.value(m_addresses.at(i)).value("result").toString(),
                 QStringLiteral("succeeded"));
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString().toLatin1(), m_imageSha);
        QCOMPARE(u.value("endAcknowledged").toBool(), true);
        QCOMPARE(u.value("violations").toArray().size(), 0);
    }
    // The flushing unit judged the wake-up and the second password only.
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(17)).value("loginAttempts").toInt(), 2);
    // Each way of refusing a password ends in the same text. The password
    // went out once, but where the refusal came with a new prompt and could
    // have been the answer to the wake-up: then the prompt got it once more
    // (a unit prompting on connect also took the wake-up for one).
    for (int i : { 4, 5, 13, 14, 15, 16 }) {
        QCOMPARE(units.value(m_addresses.at(i)).value("message").toString(),
                 QStringLiteral("ERROR: The unit rejected the password."));
        QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i)).value("loginAttempts").toInt(),
                 i == 4 || i == 5 || i == 15 ? 2 : 1);
    }
}

QTEST_GUILESS_MAIN(TestCliLab)
#include "tst_cli_lab.moc"
