// kvx-update.exe, built for Windows, under Wine in the network lab: it finds
// seven simulated units and writes the exact image to each (the simulator's
// SHA-256 of what it received), at most five at once, with the exact search
// datagram, searching on one interface. Run by tools/windows/test.sh through
// tools/netlab/netlab, which also runs tst_labinterface.exe, the check that
// this one interface is the lab's.
#include "common/isolation.h"
#include "common/lab.h"
#include "winerun.h"

#include <QCryptographicHash>
#include <QJsonArray>

class TestCliWineLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void updatesSevenUnits();

private:
    LabDevSim m_sim;
    QStringList m_addresses;
    QString m_program;
    QByteArray m_imageSha;
};

namespace {

const QByteArray kPassword = "Rack-Pa55-7781!";
constexpr int kUnits = 7;

} // namespace

void TestCliWineLab::initTestCase()
{
    if (!labAvailable())
        QSKIP("needs the network lab (run through tools/netlab/netlab)");
    // kvx-update.exe shares this namespace: it must see the lab alone.
    QString why;
    QVERIFY2(onlyTheLabInterfaceQualifies(&why), qPrintable(why));
    m_program = qEnvironmentVariable("KVX_WINDOWS_CLI");
    QVERIFY2(QFile::exists(m_program), "KVX_WINDOWS_CLI does not name kvx-update.exe");
    m_addresses = labDeviceAddresses();
    QVERIFY(m_addresses.size() >= kUnits);
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_imageSha = QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex();
}

void TestCliWineLab::updatesSevenUnits()
{
    const char *models[] = { "ZP-9E", "VK-3F", "RT-6C", "VK-5F", "VL-3F" };
    QList<QJsonObject> units;
    for (int i = 0; i < kUnits; ++i)
        units << LabDevSim::unit(m_addresses.at(i),
                                 { { "password", QString::fromUtf8(kPassword) },
                                   { "model", models[i % 5] },
                                   { "writeDelayMs", 500 } });
    QVERIFY2(m_sim.start(LabDevSim::config(units)), qPrintable(m_sim.errorString()));

    // Wine hands QT_ variables to Windows programs only as WINEQT_.
    const WineRun r = runUnderWine(
            m_program,
            // Every model of the family is written, and the proof after the
            // restart is the Linux tests' business: this is about Windows'
            // sockets, interfaces and console.
            { QStringLiteral("update"), QStringLiteral("--all"), QStringLiteral("--any-model"),
              QStringLiteral("--no-verify"), QStringLiteral("--wait"), QStringLiteral("4"),
              QStringLiteral("--json") },
            { QStringLiteral("KVX_PASSWORD=") + QString::fromUtf8(kPassword),
              QStringLiteral("WINEQT_LOGGING_RULES=kvx.discovery.debug=true"),
              QStringLiteral("WINEQT_FORCE_STDERR_LOGGING=1") },
            180000);
    const QJsonObject results = m_sim.stop();
    QVERIFY2(r.status == 0, r.out.constData());
    QVERIFY2(r.err.contains("kvx.discovery: searching on 1 interfaces"), r.err.constData());
    QVERIFY(!r.out.contains(kPassword) && !r.err.contains(kPassword));

    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    const QJsonObject summary = QJsonDocument::fromJson(lines.last()).object();
    QCOMPARE(summary.value("event").toString(), QStringLiteral("summary"));
    QCOMPARE(summary.value("succeeded").toInt(), kUnits);
    QCOMPARE(summary.value("units").toArray().size(), kUnits);

    for (int i = 0; i < kUnits; ++i) {
        const QJsonObject u = LabDevSim::findUnit(results, m_addresses.at(i));
        QCOMPARE(u.value("sha256").toString().toLatin1(), m_imageSha);
        QCOMPARE(u.value("endAcknowledged").toBool(), true);
        QCOMPARE(u.value("connections").toInt(), 1);
        QCOMPARE(u.value("violations").toArray().size(), 0);
    }
    QVERIFY(results.value("peakConnections").toInt() <= 5);
    QVERIFY(results.value("msearchReceived").toInt() >= 1);
    QCOMPARE(results.value("msearchViolations").toArray().size(), 0);
    qInfo("peak %d connections, %d searches received", results.value("peakConnections").toInt(),
          results.value("msearchReceived").toInt());
}

QTEST_GUILESS_MAIN(TestCliWineLab)
#include "tst_cli_wine_lab.moc"
