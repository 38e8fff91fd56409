// kvx-update and the units' versions, against simulated racks in the network
// lab: the status column, --outdated, each skip rule and its option, and the
// proof after an update with its exit statuses.
#include "common/lab.h"
#include "common/programrun.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTest>

class TestCliVersionsLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void outdatedPicksOlderUnits();
    void skipRules_data();
    void skipRules();
    void nothingToUpdate_data();
    void nothingToUpdate();
    void verification();
    void directUnitsAreLookedAt();

private:
    using Run = ProgramRun;
    Run run(const QStringList &arguments);
    bool startRack();
    QJsonObject unit(int i, QJsonObject settings) const;
    int transfers(const QJsonObject &results, int i) const;

    LabDevSim m_sim;
    QStringList m_addresses;
    QString m_program;
    QString m_imageSha;
};

namespace {

const QByteArray kPassword = "Versions-8812";

// The rack of most cases, against the image's VK-3F 1.04 (build0119).
enum { Older, Current, Newer, OtherModel, Older2 };

} // namespace

void TestCliVersionsLab::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    m_addresses = labDeviceAddresses();
    QVERIFY(m_addresses.size() >= 5);
    m_program = qEnvironmentVariable("KVX_CLI");
    QVERIFY2(QFile::exists(m_program), "KVX_CLI does not name kvx-update");
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_imageSha = QString::fromLatin1(
            QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex());
}

void TestCliVersionsLab::cleanup()
{
    m_sim.stop();
}

QJsonObject TestCliVersionsLab::unit(int i, QJsonObject settings) const
{
    settings.insert(QStringLiteral("password"), QString::fromUtf8(kPassword));
    settings.insert(QStringLiteral("nickname"), QStringLiteral("Unit %1").arg(i));
    if (!settings.contains(QLatin1String("model")))
        settings.insert(QStringLiteral("model"), QStringLiteral("VK-3F"));
    // Long enough a silence for the updater to see the unit go.
    if (!settings.contains(QLatin1String("rebootSeconds")))
        settings.insert(QStringLiteral("rebootSeconds"), 5);
    return LabDevSim::unit(m_addresses.at(i), settings);
}

bool TestCliVersionsLab::startRack()
{
    const bool started = m_sim.start(LabDevSim::config({
            unit(Older, { { "version", "1.02" } }),
            unit(Current, { { "version", "1.04" }, { "build", "0119" } }),
            unit(Newer, { { "version", "1.10" } }),
            unit(OtherModel, { { "model", "ZP-9E" }, { "version", "1.02" } }),
            unit(Older2, { { "version", "1.00" } }),
    }));
    if (!started)
        qWarning("%s", qPrintable(m_sim.errorString()));
    return started;
}

TestCliVersionsLab::Run TestCliVersionsLab::run(const QStringList &arguments)
{
    ProgramCall call;
    call.command = QStringList{ m_program } + arguments;
    call.setEnv = QStringList{ QStringLiteral("KVX_PASSWORD=") + QString::fromUtf8(kPassword) };
    call.timeoutMs = 120000;
    Run result = runProgram(call);
    if (result.out.contains(kPassword) || result.err.contains(kPassword))
        result.status = -2;
    return result;
}

int TestCliVersionsLab::transfers(const QJsonObject &results, int i) const
{
    return LabDevSim::findUnit(results, m_addresses.at(i)).value("transfers").toInt();
}

// --outdated picks the two older units of the image's model and the older
// unit of another model, which it then skips; the others are no rows. One
// slot: the second unit starts while the first is still restarting.
void TestCliVersionsLab::outdatedPicksOlderUnits()
{
    QVERIFY(startRack());
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--outdated"),
                        QStringLiteral("--wait"), QStringLiteral("3"), QStringLiteral("--parallel"),
                        QStringLiteral("1"), QStringLiteral("--verify-timeout"),
                        QStringLiteral("40"), QStringLiteral("--json") });
    QCOMPARE(r.status, 0);
    const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
    QVERIFY2(units.size() == 3, r.out.constData());
    for (int i : { Older, Older2 }) {
        const QJsonObject u = units.value(m_addresses.at(i));
        QCOMPARE(u.value("result").toString(), QStringLiteral("succeeded"));
        QCOMPARE(u.value("message").toString(), QStringLiteral("verified 1.04 (build0119)"));
    }
    const QJsonObject other = units.value(m_addresses.at(OtherModel));
    QCOMPARE(other.value("result").toString(), QStringLiteral("skipped"));
    QCOMPARE(other.value("message").toString(),
             QStringLiteral("a ZP-9E unit; the image is for VK-3F (--any-model writes it)"));
    const QJsonObject summary = jsonLines(r.out).last();
    QCOMPARE(summary.value("succeeded").toInt(), 2);
    QCOMPARE(summary.value("skipped").toInt(), 1);

    QStringList events;
    for (const QJsonObject &o : jsonLines(r.out))
        events << o.value("event").toString() + QLatin1Char(' ') + o.value("address").toString();
    const int secondStarted = events.indexOf("started " + m_addresses.at(Older2));
    const int firstVerified = events.indexOf("verified " + m_addresses.at(Older));
    QVERIFY2(secondStarted >= 0 && firstVerified > secondStarted, qPrintable(events.join(", ")));

    const QJsonObject results = m_sim.results();
    for (int i : { Older, Older2 }) {
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString(), m_imageSha);
        QCOMPARE(u.value("version").toString(), QStringLiteral("1.04"));
    }
    for (int i : { Current, Newer, OtherModel })
        QCOMPARE(transfers(results, i), 0);
}

void TestCliVersionsLab::skipRules_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("written");

    QTest::newRow("no option") << QStringList() << QList<int>{ Older };
    QTest::newRow("--reinstall") << QStringList{ "--reinstall" } << QList<int>{ Older, Current };
    QTest::newRow("--allow-older") << QStringList{ "--allow-older" } << QList<int>{ Older, Newer };
    QTest::newRow("--any-model") << QStringList{ "--any-model" } << QList<int>{ Older, OtherModel };
    QTest::newRow("all three") << QStringList{ "--reinstall", "--allow-older", "--any-model" }
                               << QList<int>{ Older, Current, Newer, OtherModel };
}

void TestCliVersionsLab::skipRules()
{
    QFETCH(QStringList, options);
    QFETCH(QList<int>, written);
    QVERIFY(startRack());
    QStringList arguments{ QStringLiteral("update") };
    for (int i : { Older, Current, Newer, OtherModel })
        arguments << m_addresses.at(i);
    arguments << QStringLiteral("--json") << QStringLiteral("--no-verify") << options;
    const Run r = run(arguments);
    // Skips alone never make the status 1.
    QCOMPARE(r.status, 0);

    const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
    QCOMPARE(units.size(), 4);
    const QJsonObject results = m_sim.results();
    const QString reasons[] = { QString(), "already runs 1.04 (--reinstall writes it again)",
                                "runs 1.10, newer than the image's 1.04 (--allow-older writes "
                                "the older image)",
                                "a ZP-9E unit; the image is for VK-3F (--any-model writes it)" };
    for (int i : { Older, Current, Newer, OtherModel }) {
        const QJsonObject u = units.value(m_addresses.at(i));
        if (written.contains(i)) {
            QCOMPARE(u.value("result").toString(), QStringLiteral("succeeded"));
            QCOMPARE(u.value("message").toString(), QStringLiteral("Firmware update completed."));
            QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i)).value("sha256").toString(),
                     m_imageSha);
        } else {
            QCOMPARE(u.value("result").toString(), QStringLiteral("skipped"));
            QCOMPARE(u.value("message").toString(), reasons[i]);
            QCOMPARE(transfers(results, i), 0);
            QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(i)).value("logins").toInt(), 0);
        }
    }
}

void TestCliVersionsLab::nothingToUpdate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("allCurrent");

    QTest::newRow("named unit already current") << QStringList{ "update", "@1" } << false;
    QTest::newRow("--all, every unit skipped") << QStringList{ "update", "--all" } << true;
    QTest::newRow("--outdated, none older") << QStringList{ "update", "--outdated" } << true;
}

void TestCliVersionsLab::nothingToUpdate()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, allCurrent);
    if (allCurrent) {
        QVERIFY(m_sim.start(LabDevSim::config({ unit(0, { { "version", "1.04" } }),
                                                unit(1, { { "version", "1.05" } }),
                                                unit(2, { { "model", "RT-6C" } }) })));
    } else {
        QVERIFY(startRack());
    }
    arguments.replaceInStrings(QStringLiteral("@1"), m_addresses.at(Current));
    const Run r = run(arguments << QStringLiteral("--wait") << QStringLiteral("3"));
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(" - Nothing to update.\n"), r.out.constData());
    QCOMPARE(m_sim.results().value("peakConnections").toInt(), 0);
}

// A unit that comes back with the image, one whose boot fails, one that does
// not come back in time.
void TestCliVersionsLab::verification()
{
    QVERIFY(m_sim.start(LabDevSim::config(
            { unit(0, {}), unit(1, { { "faults", QJsonObject{ { "bootFails", true } } } }),
              unit(2, { { "rebootSeconds", 60 } }) })));
    const Run r =
            run({ QStringLiteral("update"), QStringLiteral("--all"), QStringLiteral("--wait"),
                  QStringLiteral("3"), QStringLiteral("--verify-timeout"), QStringLiteral("15") });
    QCOMPARE(r.status, 1);
    const QString out = QString::fromUtf8(r.out);
    const QString rows[] = {
        QStringLiteral("%1 verified 1.04 (build0119)\n"),
        QStringLiteral("%1 failed: still reports 1.02 after the update\n"),
        QStringLiteral("%1 not verified: did not come back within 15 s\n"),
    };
    for (int i = 0; i < 3; ++i)
        QVERIFY2(out.contains(rows[i].arg(m_addresses.at(i))), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("\nSummary: 1 succeeded, 1 failed, 0 lost, 0 not found, "
                                         "0 not started, 1 not verified\n")),
             qPrintable(out));
    // Every unit holds the image; only the proof tells them apart.
    const QJsonObject results = m_sim.results();
    for (int i = 0; i < 3; ++i) {
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString(), m_imageSha);
        QCOMPARE(u.value("endAcknowledged").toBool(), true);
    }
    // Read over TCP after the return: the healthy unit and the failed boot.
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(0)).value("logins").toInt(), 2);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(1)).value("logins").toInt(), 2);
    QCOMPARE(LabDevSim::findUnit(results, m_addresses.at(2)).value("logins").toInt(), 1);
}

// Units that answer no search (--direct): the proof comes from looking at
// them in turn, one that boots the image and one whose boot fails.
void TestCliVersionsLab::directUnitsAreLookedAt()
{
    QVERIFY(m_sim.start(
            LabDevSim::config({ unit(0, { { "silentAfterSeconds", 0 }, { "rebootSeconds", 3 } }),
                                unit(1,
                                     { { "silentAfterSeconds", 0 },
                                       { "rebootSeconds", 3 },
                                       { "faults", QJsonObject{ { "bootFails", true } } } }) })));
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--direct"), m_addresses.at(0),
                        m_addresses.at(1), QStringLiteral("--verify-timeout"), QStringLiteral("30"),
                        QStringLiteral("--json") });
    QCOMPARE(r.status, 1);
    const QHash<QString, QJsonObject> units = summaryUnits(summaryOf(r.out));
    QCOMPARE(units.value(m_addresses.at(0)).value("result").toString(),
             QStringLiteral("succeeded"));
    QCOMPARE(units.value(m_addresses.at(0)).value("message").toString(),
             QStringLiteral("verified 1.04 (build0119)"));
    QCOMPARE(units.value(m_addresses.at(1)).value("result").toString(), QStringLiteral("failed"));
    QCOMPARE(units.value(m_addresses.at(1)).value("message").toString(),
             QStringLiteral("still reports 1.02 after the update"));
    // Each was read twice at least: at its login, then once it was back.
    for (int i = 0; i < 2; ++i)
        QVERIFY(LabDevSim::findUnit(m_sim.results(), m_addresses.at(i)).value("logins").toInt()
                >= 2);
}

QTEST_GUILESS_MAIN(TestCliVersionsLab)
#include "tst_cli_versions_lab.moc"
