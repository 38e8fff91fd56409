#include "device/udpmachinenode.h"

#include "common/fakedevice.h"
#include "common/isolation.h"
#include "common/unitscripts.h"
#include "device/udpcb.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace UnitScript;

// Stands in for the table: records what the record reports, and for every
// progress text the record's state and socket state at that moment.
class RecordingCB : public UdpCB
{
public:
    struct Progress
    {
        QString text;
        QString address;
        UdpMachineNode::FwupState state;
        QAbstractSocket::SocketState socket;
    };

    UdpMachineNode *node = nullptr;
    QStringList events; // "update m_version=1.04", "progress Starting..."
    QList<Progress> progress;

    void addNode(QString) override { events << QStringLiteral("add"); }
    void removeNode(QString) override { events << QStringLiteral("remove"); }
    void updateNode(QString message) override
    {
        const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
        QString key;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != QLatin1String("action") && it.key() != QLatin1String("m_ipaddr"))
                key = it.key();
        }
        events << QStringLiteral("update %1=%2 (%3, %4)")
                          .arg(key, object.value(key).toString(), object.value("action").toString(),
                               object.value("m_ipaddr").toString());
    }
    void fwupProgress(QString text, QString address) override
    {
        events << QStringLiteral("progress ") + text;
        progress << Progress{ text, address, node->m_fwup_state,
                              node->m_comm.m_protocol.socketState() };
    }
    void lock() override { }
    void unlock() override { }

    QStringList texts() const
    {
        QStringList list;
        for (const Progress &p : progress)
            list << p.text;
        return list;
    }
    bool finished() const
    {
        return !progress.isEmpty()
                && (progress.last().text == QLatin1String("Firmware update completed.")
                    || progress.last().text.startsWith(QLatin1String("ERROR: ")));
    }
};

// A record as the table holds it: address, port, password, the table's
// interface, and the three connections the intake makes.
struct Unit
{
    RecordingCB cb;
    UdpMachineNode node{ QByteArray("HTTP/1.1 200 OK\r\n\r\n"),
                         QHostAddress(QHostAddress::LocalHost) };

    explicit Unit(const FakeDevice &fake, int timeoutMs = 5000)
    {
        cb.node = &node;
        node.m_ipaddr = QStringLiteral("127.0.0.1");
        node.m_port = QString::number(fake.port());
        node.m_login_passwd = QStringLiteral("s3cret");
        node.m_modelname = QStringLiteral("VK-3F");
        node.m_udpcb = &cb;
        node.m_comm.m_protocol.m_connectTimeoutMs = timeoutMs;
        node.m_comm.m_protocol.m_replyTimeoutMs = timeoutMs;
        node.m_comm.m_protocol.m_passwordGraceMs = timeoutMs;
        node.m_comm.m_finalAckTimeoutMs = timeoutMs;
        node.connectToCommunication();
    }
};

class TestNodeUpdateControl : public QObject
{
    Q_OBJECT

private slots:
    void normalRun();
    void requestWhileBusy();
    void ageingPausedDuringRun();
    void failuresEndTheRun_data();
    void failuresEndTheRun();
    void newRunAfterError();
    void unreachableUnit();
    void versionNotificationRefreshesOnly();
    void otherNoticesIgnored();

    void completedRunWatchesForReturn();
    void versionCheck();
    void versionCheckOnlyWhenIdle();
    void failedVersionCheck();
};

void TestNodeUpdateControl::normalRun()
{
    const QByteArray image = testImage(1024);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).pause(30).send("OK SET\r\n").expectClosed();
    Unit unit(fake);

    unit.node.requestUpdate(&image);
    // The card shows the text before the socket has connected.
    QCOMPARE(unit.cb.texts(), QStringList{ "connecting..." });
    QVERIFY(unit.node.m_comm.m_protocol.socketState() != QAbstractSocket::ConnectedState);
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Starting);
    // Every run points at the table's image.
    QCOMPARE(unit.node.m_fwup_image, &image);

    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.events,
             (QStringList{ "progress connecting...",
                           "update m_modelname=KVX-Stage (update, 127.0.0.1)",
                           "update m_version=1.04 (update, 127.0.0.1)",
                           "update m_build=(build0119) (update, 127.0.0.1)", "progress Starting...",
                           "progress Sending... 0%", "progress Sending... 50%", "progress Writing",
                           "progress Firmware update completed." }));
    QCOMPARE(unit.node.m_comm.m_image, &image);
    for (const RecordingCB::Progress &p : qAsConst(unit.cb.progress))
        QCOMPARE(p.address, QStringLiteral("127.0.0.1"));
    // Idle, and the socket closed, before the card learns of the success.
    const RecordingCB::Progress done = unit.cb.progress.last();
    QCOMPARE(done.state, UdpMachineNode::Idle);
    QCOMPARE(done.socket, QAbstractSocket::UnconnectedState);
    QCOMPARE(unit.cb.progress.at(unit.cb.progress.size() - 2).state, UdpMachineNode::Transferring);
    QCOMPARE(unit.node.m_modelname, QStringLiteral("KVX-Stage"));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Requests for a busy record are dropped: one connection, one run.
void TestNodeUpdateControl::requestWhileBusy()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).send("OK SET\r\n").expectClosed();
    Unit unit(fake);
    unit.node.requestUpdate(&image);
    unit.node.m_login_passwd = QStringLiteral("other");
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QTest::qWait(50);
    QCOMPARE(fake.connectionCount(), 1);
    QCOMPARE(unit.cb.texts(),
             (QStringList{ "connecting...", "Starting...", "Sending... 0%", "Writing",
                           "Firmware update completed." }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestNodeUpdateControl::ageingPausedDuringRun()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).pause(300).send("OK SET\r\n").expectClosed();
    Unit unit(fake);
    unit.node.m_count = 4;
    unit.node.ageStep();
    QCOMPARE(unit.node.m_count, 5);
    unit.node.requestUpdate(&image);
    unit.node.ageStep();
    QTRY_COMPARE(unit.node.m_fwup_state, UdpMachineNode::Transferring);
    unit.node.ageStep();
    QCOMPARE(unit.node.m_count, 5);
    QTRY_VERIFY(unit.cb.finished());
    unit.node.ageStep();
    QCOMPARE(unit.node.m_count, 6);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Runs that the unit cannot complete end all the same, so that the record is
// idle again: it ages, and it can be updated again.
void TestNodeUpdateControl::failuresEndTheRun_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("lastText");
    QTest::newRow("wrong password") << "password"
                                    << "ERROR: The unit rejected the password.";
    QTest::newRow("NG to the start command") << "ng start"
                                             << "ERROR: Detected NG response from the unit.";
    QTest::newRow("no reply")
            << "silent"
            << "ERROR: No reply from the unit to \"SET UPDATE/SYSTEM:STA SIZE:64\" within 200 ms.";
    QTest::newRow("empty image") << "empty"
                                 << "ERROR: The firmware image is empty.";
}

void TestNodeUpdateControl::failuresEndTheRun()
{
    QFETCH(QString, failure);
    QFETCH(QString, lastText);
    const QByteArray image = failure == "empty" ? QByteArray() : testImage(100);
    FakeDevice fake;
    if (failure == "password") {
        fake.expect("\r\n").send("Enter Password:").expect("s3cret\r\n").send("Password Failed");
    } else {
        login(fake);
        if (failure != "empty")
            fake.expect(startCommand(100));
        if (failure == "ng start")
            fake.send("NG\r\n");
    }
    fake.expectClosed();
    Unit unit(fake, 200);
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.texts().last(), lastText);
    QCOMPARE(unit.cb.texts().filter(QRegularExpression("^ERROR: ")).size(), 1);
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// After a run ended with an error, a new request begins a new run whose
// texts, resend reports included, reach the card exactly once.
void TestNodeUpdateControl::newRunAfterError()
{
    const QByteArray image = testImage(1024);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(1024))
            .send("OK SET\r\n")
            .expect(dataCommand(image, 0, 512))
            .closeConnection();
    login(fake);
    fake.expect(startCommand(1024))
            .send("OK SET\r\n")
            .expect(dataCommand(image, 0, 512))
            .send("NG\r\n")
            .expect(dataCommand(image, 0, 512))
            .send("OK SET\r\n")
            .expect(dataCommand(image, 512, 512))
            .send("OK SET\r\n")
            .expect(endCommand())
            .send("NOTIFY DONE\r\n")
            .send("OK SET\r\n")
            .expectClosed();
    Unit unit(fake);
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.texts().last(),
             QStringLiteral("ERROR: The remote host closed the connection"));
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);

    unit.cb.progress.clear();
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.texts(),
             (QStringList{ "connecting...", "Starting...", "Sending... 0%", "Retry: 4 (50%)",
                           "Sending... 50%", "Writing", "Firmware update completed." }));
    QCOMPARE(fake.connectionCount(), 2);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// The connect fails at once (no route): the card still reads
// "connecting..." first and the error last, and the record is idle.
void TestNodeUpdateControl::unreachableUnit()
{
    if (!networkIsIsolated())
        QSKIP("needs an isolated network namespace (./test.sh)");
    const QByteArray image = testImage(100);
    FakeDevice fake;
    Unit unit(fake);
    unit.node.m_ipaddr = QStringLiteral("10.77.0.2");
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.texts(), (QStringList{ "connecting...", "ERROR: Network unreachable" }));
    QCOMPARE(unit.cb.progress.last().address, QStringLiteral("10.77.0.2"));
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A version word that arrives again (here as a notification while the unit
// writes its flash) refreshes the record and starts no second transfer.
void TestNodeUpdateControl::versionNotificationRefreshesOnly()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image)
            .send("NOTIFY DEVICE/VER/SYSTEM:V1.05B0120\r\n")
            .pause(50)
            .send("OK SET\r\n")
            .expectClosed();
    Unit unit(fake);
    unit.node.requestUpdate(&image);
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.events.filter(QRegularExpression("^update ")).size(), 6);
    QCOMPARE(unit.cb.events.mid(unit.cb.events.indexOf("progress Writing") + 1),
             (QStringList{ "update m_modelname=KVX-Stage (update, 127.0.0.1)",
                           "update m_version=1.05 (update, 127.0.0.1)",
                           "update m_build=(build0120) (update, 127.0.0.1)",
                           "progress Firmware update completed." }));
    QCOMPARE(unit.cb.texts().count("Starting..."), 1);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestNodeUpdateControl::otherNoticesIgnored()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(100)).expectClosed();
    Unit unit(fake);
    unit.node.requestUpdate(&image);
    QTRY_COMPARE(unit.node.m_fwup_state, UdpMachineNode::Transferring);
    unit.node.slot_notifyMessage(QStringLiteral("FWUP_COMPLETED"));
    unit.node.slot_notifyMessage(QStringLiteral("fwup_completed "));
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Transferring);
    QCOMPARE(unit.node.m_comm.m_protocol.socketState(), QAbstractSocket::ConnectedState);
    unit.node.slot_notifyMessage(QStringLiteral("fwup_completed"));
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Only a run that the unit acknowledged leaves the unit restarting.
void TestNodeUpdateControl::completedRunWatchesForReturn()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).pause(300).send("OK SET\r\n").expectClosed();
    Unit unit(fake);
    unit.node.m_count = 2;
    unit.node.requestUpdate(&image);
    QTRY_COMPARE(unit.node.m_fwup_state, UdpMachineNode::Transferring);
    unit.node.ageStep();
    QCOMPARE(unit.node.m_silentTicks, 0);
    QVERIFY(!unit.node.m_f_restarting);
    QTRY_VERIFY(unit.cb.finished());
    QVERIFY(unit.node.m_f_restarting);
    // The card hears of the completion first; no message of its own follows.
    QCOMPARE(unit.cb.events.last(), QStringLiteral("progress Firmware update completed."));
    unit.node.ageStep();
    unit.node.ageStep();
    QCOMPARE(unit.node.m_silentTicks, 2);
    QCOMPARE(unit.node.m_count, 4); // ageing goes on as before
    QVERIFY(unit.node.m_after_update.isEmpty());
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A check logs in, reads name and version like a run, and leaves: no start
// command, the socket closed, the record idle again.
void TestNodeUpdateControl::versionCheck()
{
    FakeDevice fake;
    login(fake, "s3cret", "\"VK-3F\"", "V1.04B0119").expectClosed();
    Unit unit(fake);
    unit.node.m_version = QStringLiteral("1.02");
    unit.node.m_after_update = QStringLiteral("back");
    unit.node.m_count = 3;
    unit.node.requestVersionCheck();
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Checking);
    unit.node.ageStep();
    QCOMPARE(unit.node.m_count, 3);
    QTRY_COMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QCOMPARE(unit.cb.events,
             (QStringList{ "progress connecting...", "update m_modelname=VK-3F (update, 127.0.0.1)",
                           "update m_version=1.04 (update, 127.0.0.1)",
                           "update m_build=(build0119) (update, 127.0.0.1)" }));
    QCOMPARE(unit.node.m_comm.m_protocol.socketState(), QAbstractSocket::UnconnectedState);
    QCOMPARE(unit.node.m_after_update, QStringLiteral("back")); // a check is no new run
    QVERIFY(!unit.node.m_f_restarting);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QTest::qWait(50);
    QCOMPARE(unit.cb.events.size(), 4);
}

void TestNodeUpdateControl::versionCheckOnlyWhenIdle()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).send("OK SET\r\n").expectClosed();
    login(fake).expectClosed();
    Unit unit(fake);
    unit.node.requestUpdate(&image);
    unit.node.requestVersionCheck();
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Starting);
    QTRY_VERIFY(unit.cb.finished());
    unit.cb.events.clear();
    unit.node.requestVersionCheck();
    unit.node.requestUpdate(&image); // ignored while the check runs
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Checking);
    QTRY_COMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QCOMPARE(unit.cb.events.first(), QStringLiteral("progress connecting..."));
    QCOMPARE(unit.cb.texts(),
             (QStringList{ "connecting...", "Starting...", "Sending... 0%", "Writing",
                           "Firmware update completed.", "connecting..." }));
    QCOMPARE(fake.connectionCount(), 2);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestNodeUpdateControl::failedVersionCheck()
{
    FakeDevice fake;
    fake.expect("\r\n")
            .send("Enter Password:")
            .expect("s3cret\r\n")
            .send("Password Failed\r\n")
            .expectClosed();
    Unit unit(fake);
    // No prompt follows the failure: the verdict comes when the grace ends.
    unit.node.m_comm.m_protocol.m_passwordGraceMs = 200;
    unit.node.requestVersionCheck();
    QTRY_VERIFY(unit.cb.finished());
    QCOMPARE(unit.cb.texts(),
             (QStringList{ "connecting...", "ERROR: The unit rejected the password." }));
    QCOMPARE(unit.node.m_fwup_state, UdpMachineNode::Idle);
    QVERIFY(unit.cb.events.filter(QRegularExpression("^update ")).isEmpty());
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

QTEST_GUILESS_MAIN(TestNodeUpdateControl)
#include "tst_nodeupdatecontrol.moc"
