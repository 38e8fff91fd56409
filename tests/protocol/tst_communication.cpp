#include "protocol/communication.h"

#include "common/fakedevice.h"
#include "common/unitscripts.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace UnitScript;

static const QString kCompleted = QStringLiteral("<fwup_completed>");

// Plays the device record's part around one Communication: wires the three
// links at the start of a run, starts the transfer when the version has been
// read, stops the run on "fwup_completed". Records the progress texts with
// the notice in between, in the order they were emitted.
struct Runner
{
    Communication comm;
    const QByteArray *image = nullptr;
    bool transferStarted = false;
    QStringList events;
    QStringList addresses;
    int initCompleted = 0;

    Runner(int timeoutMs = 5000)
    {
        comm.m_protocol.m_connectTimeoutMs = timeoutMs;
        comm.m_protocol.m_replyTimeoutMs = timeoutMs;
        QObject::connect(&comm, &Communication::fwup_progress,
                         [this](QString text, QString address) {
                             events << text;
                             addresses << address;
                         });
        QObject::connect(&comm, &Communication::sig_notifyMessage, [this](QString message) {
            events << QLatin1Char('<') + message + QLatin1Char('>');
            if (message == QLatin1String("fwup_completed"))
                comm.stopUpdate();
        });
        QObject::connect(&comm, &Communication::fwup_initCompleted, [this] {
            ++initCompleted;
            if (!transferStarted) {
                transferStarted = true;
                comm.startUpdate(image);
            }
        });
    }

    void start(const QString &host, const QByteArray *runImage, const QString &password = "s3cret")
    {
        image = runImage;
        transferStarted = false;
        MixerProtocol &protocol = comm.m_protocol;
        comm.linkProtocol();
        protocol.connectToDevice(host, password);
        comm.m_deviceAddress = host.section(QLatin1Char(':'), 0, 0);
        comm.reportProgress(QStringLiteral("connecting..."));
        comm.m_sentBytes = 0;
    }

    bool finished() const { return events.contains(kCompleted); }
};

// The texts of a run of `image` against `fake`, once it has ended; a run
// that does not end in time ends its list with "<still running>".
static QStringList runToEnd(FakeDevice &fake, const QByteArray &image)
{
    Runner runner;
    runner.start(fake.hostText(), &image);
    if (!QTest::qWaitFor([&runner] { return runner.finished(); }, 5000))
        runner.events << QStringLiteral("<still running>");
    return runner.events;
}

static QStringList sendingTexts(const QList<int> &percents)
{
    QStringList texts;
    for (int percent : percents)
        texts << QStringLiteral("Sending... %1%").arg(percent);
    return texts;
}

static QStringList normalTexts(const QList<int> &percents)
{
    return QStringList{ "connecting...", "Starting..." } + sendingTexts(percents)
            + QStringList{ "Writing", kCompleted, "Firmware update completed." };
}

class TestCommunication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void normalRun_data();
    void normalRun();
    void wireFormat();
    void shippedImage();
    void emptyImage();
    void failures_data();
    void failures();
    void finalAcknowledgementMayBeSlow();
    void startAcknowledgementMayBeSlow();
    void setWithWordsAcknowledges_data();
    void setWithWordsAcknowledges();
    void connectTimeout();
    void wordsDoNotDriveTheTransfer_data();
    void wordsDoNotDriveTheTransfer();
    void repeatedAcknowledgementBeforeStart();
    void endNeedsTheTwoWordReply();
    void secondRun();
    void values_data();
    void values();
    void percentOfLargeImage();
};

void TestCommunication::initTestCase()
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
    Q_INIT_RESOURCE(assets);
}

void TestCommunication::normalRun_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("percents");

    QTest::newRow("1 byte") << 1 << QList<int>{ 0 };
    QTest::newRow("512 bytes") << 512 << QList<int>{ 0 };
    QTest::newRow("513 bytes") << 513 << QList<int>{ 0, 99 };
    QTest::newRow("1024 bytes") << 1024 << QList<int>{ 0, 50 };
    QTest::newRow("2000 bytes") << 2000 << QList<int>{ 0, 25, 51, 76 };
    // Each of the 86 commands moves the share by 1.16 points: every sixth or
    // seventh skips a number.
    QTest::newRow("43981 bytes") << 43981
                                 << QList<int>{ 0,  1,  2,  3,  4,  5,  6,  8,  9,  10, 11, 12, 13,
                                                15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27, 29,
                                                30, 31, 32, 33, 34, 36, 37, 38, 39, 40, 41, 43, 44,
                                                45, 46, 47, 48, 50, 51, 52, 53, 54, 55, 57, 58, 59,
                                                60, 61, 62, 64, 65, 66, 67, 68, 69, 71, 72, 73, 74,
                                                75, 76, 77, 79, 80, 81, 82, 83, 84, 86, 87, 88, 89,
                                                90, 91, 93, 94, 95, 96, 97, 98 };
}

void TestCommunication::normalRun()
{
    QFETCH(int, size);
    QFETCH(QList<int>, percents);
    const QByteArray image = testImage(size);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).pause(30).send("OK SET\r\n").expectClosed();

    Runner runner;
    runner.start(fake.hostText(), &image);
    QCOMPARE(runner.events, QStringList{ "connecting..." }); // before the socket connected
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events, normalTexts(percents));
    QCOMPARE(runner.addresses.size(), runner.events.size() - 1);
    QCOMPARE(runner.addresses.count(QStringLiteral("127.0.0.1")), runner.addresses.size());
    QCOMPARE(runner.comm.m_runState, 0);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// The numbers on the wire, spelled out: lower-case hexadecimal without
// prefix, offsets counted in bytes, the last command carrying the rest.
void TestCommunication::wireFormat()
{
    const QByteArray image = testImage(43981);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).send("OK SET\r\n").expectClosed();
    Runner runner;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));

    const QByteArray wire = fake.received();
    const int login = wire.indexOf("SET UPDATE/SYSTEM:STA SIZE:abcd\r\n");
    QVERIFY(login > 0);
    const QByteArray first =
            "SET UPDATE/SYSTEM:BIN SIZE:200 offset:0 bin:" + image.left(512) + "\r\n";
    QCOMPARE(wire.mid(login + 33, first.size()), first);
    QVERIFY(wire.contains("SET UPDATE/SYSTEM:BIN SIZE:200 offset:200 bin:" + image.mid(512, 512)
                          + "\r\n"));
    QVERIFY(wire.contains("SET UPDATE/SYSTEM:BIN SIZE:200 offset:400 bin:" + image.mid(1024, 512)
                          + "\r\n"));
    QVERIFY(wire.endsWith("SET UPDATE/SYSTEM:BIN SIZE:1cd offset:aa00 bin:" + image.mid(43520)
                          + "\r\n"
                            "SET UPDATE/SYSTEM:END\r\n"));
    QCOMPARE(wire.count("SET UPDATE/SYSTEM:BIN "), 86);
    // The test image holds plenty of CR, LF and NUL bytes.
    QVERIFY(image.count('\0') > 1000 && image.count('\r') > 1000 && image.count('\n') > 1000);
}

void TestCommunication::shippedImage()
{
    // The image as the updater embeds it.
    QFile file(QStringLiteral(":/Resource/binfile"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    if (image.size() != 579616)
        QSKIP("the embedded image is not the shipped one");

    FakeDevice fake;
    login(fake);
    transfer(fake, image).send("OK SET\r\n").expectClosed();
    Runner runner;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY_WITH_TIMEOUT(runner.finished(), 30000);
    QList<int> percents;
    for (int i = 0; i < 100; ++i)
        percents << i;
    QCOMPARE(runner.events, normalTexts(percents));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));

    const QByteArray wire = fake.received();
    QVERIFY(wire.contains("SET UPDATE/SYSTEM:STA SIZE:8d820\r\n"));
    QCOMPARE(wire.count("SET UPDATE/SYSTEM:BIN SIZE:200 offset:"), 1132);
    QVERIFY(wire.endsWith("SET UPDATE/SYSTEM:BIN SIZE:20 offset:8d800 bin:" + image.right(32)
                          + "\r\n"
                            "SET UPDATE/SYSTEM:END\r\n"));
}

void TestCommunication::emptyImage()
{
    const QByteArray image;
    FakeDevice fake;
    login(fake).expectClosed();
    Runner runner;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events,
             (QStringList{ "connecting...", "ERROR: The firmware image is empty.", kCompleted }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Every failing run ends: one text that begins "ERROR: ", then the notice,
// and the connection is closed.
void TestCommunication::failures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("texts");

    const QStringList start{ "connecting...", "Starting..." };
    const QString ng = QStringLiteral("ERROR: Detected NG response from the unit.");
    QTest::newRow("wrong password")
            << "password"
            << QStringList{ "connecting...", "ERROR: The unit rejected the password." };
    QTest::newRow("NG to the name query") << "ng name" << QStringList{ "connecting...", ng };
    QTest::newRow("NG to the version query") << "ng version" << QStringList{ "connecting...", ng };
    QTest::newRow("NG to the start command") << "ng start" << start + QStringList{ ng };
    QTest::newRow("NG to the end command")
            << "ng end" << start + sendingTexts({ 0, 50 }) + QStringList{ "Writing", ng };
    QTest::newRow("unit closes during the transfer") << "close"
                                                     << start + sendingTexts({ 0 })
                    + QStringList{ "ERROR: The remote host closed the connection" };
    QStringList retries;
    for (int count = 4; count <= 11; ++count)
        retries << QStringLiteral("Retry: %1 (50%)").arg(count);
    QTest::newRow("NG to a data command for ever") << "ng data"
                                                   << start + sendingTexts({ 0 }) + retries
                    + QStringList{ "ERROR: The unit kept answering NG to \"SET UPDATE/SYSTEM:BIN "
                                   "SIZE:200 offset:0\"; "
                                   "gave up after 8 resends." };
    QTest::newRow("no prompt") << "silent after wake-up"
                               << QStringList{
                                      "connecting...",
                                      "ERROR: No password prompt from the unit within 200 ms."
                                  };
    QTest::newRow("no answer to the password")
            << "silent after password"
            << QStringList{ "connecting...", "ERROR: The unit rejected the password." };
    QTest::newRow("no reply to a query")
            << "silent after query"
            << QStringList{
                   "connecting...",
                   "ERROR: No reply from the unit to \"GET DEVICE/VER/SYSTEM\" within 200 ms."
               };
    QTest::newRow("version without its key")
            << "bad version"
            << QStringList{ "connecting...",
                            "ERROR: No usable reply from the unit to \"GET DEVICE/VER/SYSTEM\" "
                            "within 200 ms." };
    // The start command has the flash operations' long time-out.
    QTest::newRow("no reply to the start command") << "silent after start"
                                                   << start
                    + QStringList{ "ERROR: No reply from the unit to \"SET UPDATE/SYSTEM:STA "
                                   "SIZE:400\" within 600 ms." };
    QTest::newRow("no reply to a data command") << "silent after data"
                                                << start + sendingTexts({ 0, 50 })
                    + QStringList{ "ERROR: No reply from the unit to \"SET UPDATE/SYSTEM:BIN "
                                   "SIZE:200 offset:200\" "
                                   "within 200 ms." };
    QTest::newRow("no final acknowledgement") << "silent after end"
                                              << start + sendingTexts({ 0, 50 })
                    + QStringList{ "Writing",
                                   "ERROR: No reply from the unit to \"SET UPDATE/SYSTEM:END\" "
                                   "within 600 ms." };
    QTest::newRow("unusable final reply") << "words after end"
                                          << start + sendingTexts({ 0, 50 })
                    + QStringList{ "Writing",
                                   "ERROR: No usable reply from the unit to \"SET "
                                   "UPDATE/SYSTEM:END\" within 600 ms." };
}

void TestCommunication::failures()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, texts);
    const QByteArray image = testImage(1024);
    const QByteArray data0 = dataCommand(image, 0, 512);
    const QByteArray data1 = dataCommand(image, 512, 512);

    FakeDevice fake;
    fake.expect("\r\n");
    if (failure != "silent after wake-up")
        fake.send("Entry Password:").expect("s3cret\r\n");
    if (failure == "password")
        fake.send("Password Failed\r\n");
    const bool loggedIn = !failure.startsWith("silent after wake")
            && failure != "silent after password" && failure != "password";
    if (loggedIn) {
        fake.send("Login Successful\r\n").expect("GET DEVICE/NAME\r\n");
        if (failure == "ng name")
            fake.send("NG\r\n");
        else
            fake.send("OK GET DEVICE/NAME:KVX\r\n").expect("GET DEVICE/VER/SYSTEM\r\n");
    }
    if (failure == "ng version")
        fake.send("NG\r\n");
    if (failure == "bad version")
        fake.send("OK GET V1.04B0119\r\n");
    const bool started = loggedIn && !failure.startsWith("ng name") && failure != "ng version"
            && failure != "bad version" && failure != "silent after query";
    if (started)
        fake.send("OK GET DEVICE/VER/SYSTEM:V1.04B0119\r\n").expect(startCommand(1024));
    if (failure == "ng start")
        fake.send("NG\r\n");
    if (failure == "close")
        fake.send("OK SET\r\n").expect(data0).closeConnection();
    if (failure == "ng data") {
        fake.send("OK SET\r\n").expect(data0);
        for (int i = 0; i < 8; ++i)
            fake.send("NG\r\n").expect(data0);
        fake.send("NG\r\n");
    }
    if (failure == "silent after data")
        fake.send("OK SET\r\n").expect(data0).send("OK SET\r\n").expect(data1);
    if (failure == "ng end" || failure == "silent after end" || failure == "words after end") {
        fake.send("OK SET\r\n").expect(data0).send("OK SET\r\n").expect(data1).send("OK SET\r\n");
        fake.expect(endCommand());
    }
    if (failure == "ng end")
        fake.send("NG\r\n");
    if (failure == "words after end")
        fake.send("OK SET DONE\r\n");
    if (failure != "close")
        fake.expectClosed();

    Runner runner(200);
    runner.comm.m_finalAckTimeoutMs = 600;
    runner.comm.m_protocol.m_passwordGraceMs = 300;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events, texts + QStringList{ kCompleted });
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QCOMPARE(runner.comm.m_protocol.socketState(), QAbstractSocket::UnconnectedState);
    QCOMPARE(runner.comm.m_runState, 0);
    QTest::qWait(250);
    QCOMPARE(runner.events.size(), texts.size() + 1);
}

void TestCommunication::finalAcknowledgementMayBeSlow()
{
    const QByteArray image = testImage(700);
    FakeDevice fake;
    login(fake);
    transfer(fake, image).pause(500).send("OK SET\r\n").expectClosed();
    Runner runner(150);
    runner.comm.m_finalAckTimeoutMs = 5000;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events, normalTexts({ 0, 73 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A unit may erase its flash before it acknowledges the start command.
void TestCommunication::startAcknowledgementMayBeSlow()
{
    const QByteArray image = testImage(700);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(700)).pause(500).send("OK SET\r\n");
    fake.expect(dataCommand(image, 0, 512)).send("OK SET\r\n");
    fake.expect(dataCommand(image, 512, 188)).send("OK SET\r\n");
    fake.expect(endCommand()).send("OK SET\r\n").expectClosed();
    Runner runner(150);
    runner.comm.m_finalAckTimeoutMs = 5000;
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events, normalTexts({ 0, 73 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A unit that acknowledges the start and data commands with OK SET and words
// (an echo of the command) is updated; the end command still needs the
// two-word OK, which a worded one before it does not replace.
void TestCommunication::setWithWordsAcknowledges_data()
{
    QTest::addColumn<QByteArray>("startAck");
    QTest::addColumn<QByteArray>("dataAck");
    QTest::addColumn<QByteArrayList>("endReplies");
    QTest::newRow("echo of the command word")
            << QByteArray("OK SET UPDATE/SYSTEM:STA\r\n")
            << QByteArray("OK SET UPDATE/SYSTEM:BIN\r\n") << QByteArrayList{ "OK SET\r\n" };
    QTest::newRow("several words, lower case, CR only")
            << QByteArray("ok set STA SIZE:600\r") << QByteArray("ok set BIN 200\r")
            << QByteArrayList{ "ok set\r" };
    QTest::newRow("words to the end command first")
            << QByteArray("OK SET STA\r\n") << QByteArray("OK SET BIN\r\n")
            << QByteArrayList{ "OK SET END FLASHING\r\n", "OK SET\r\n" };
}

void TestCommunication::setWithWordsAcknowledges()
{
    QFETCH(QByteArray, startAck);
    QFETCH(QByteArray, dataAck);
    QFETCH(QByteArrayList, endReplies);
    const QByteArray image = testImage(600);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(600)).send(startAck);
    fake.expect(dataCommand(image, 0, 512)).send(dataAck);
    fake.expect(dataCommand(image, 512, 88)).send(dataAck);
    fake.expect(endCommand());
    for (int i = 0; i < endReplies.size(); ++i)
        fake.pause(i == 0 ? 50 : 500).send(endReplies.at(i));
    fake.expectClosed();
    Runner runner;
    runner.start(fake.hostText(), &image);
    if (endReplies.size() > 1) {
        // Between the worded reply and the two-word one the run goes on.
        QTRY_VERIFY(fake.received().endsWith(endCommand()));
        QTest::qWait(300);
        QVERIFY(!runner.finished());
        QCOMPARE(runner.comm.m_runState, 3);
    }
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events, normalTexts({ 0, 85 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestCommunication::connectTimeout()
{
    // A full accept queue leaves the connect pending (see tst_mixerprotocol).
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(QHostAddress::LocalHost), 0));
    server.pauseAccepting();
    QList<QTcpSocket *> fillers;
    for (int i = 0; i < 300; ++i) {
        auto *filler = new QTcpSocket(&server);
        filler->connectToHost(QHostAddress(QHostAddress::LocalHost), server.serverPort());
        fillers << filler;
    }
    QTest::qWait(100);

    const QByteArray image = testImage(10);
    Runner runner(300);
    runner.start(QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), &image);
    QTRY_VERIFY(runner.finished());
    if (runner.events.value(1) != QLatin1String("ERROR: No connection to the unit within 300 ms."))
        QSKIP("the loopback accept queue did not fill up");
    QCOMPARE(runner.events,
             (QStringList{ "connecting...", "ERROR: No connection to the unit within 300 ms.",
                           kCompleted }));
}

// Only the acknowledgement of the command in flight moves the transfer on. A
// notification or a reply with words answers nothing: taken for an
// acknowledgement it would put the next data command in flight early, and the
// run would end on the acknowledgement of the last data command, before the
// unit had answered the end command.
void TestCommunication::wordsDoNotDriveTheTransfer_data()
{
    QTest::addColumn<int>("after"); // 0: the start command, n: the n-th data command
    QTest::addColumn<QByteArray>("words");
    QTest::newRow("notification after the start command") << 0 << QByteArray("NOTIFY VOL 3\r\n");
    QTest::newRow("notification after a data command") << 1 << QByteArray("NOTIFY VOL 3\r\n");
    QTest::newRow("notification after the last data command") << 2 << QByteArray("NOTIFY VOL\r\n");
    QTest::newRow("query reply words after a data command")
            << 1 << QByteArray("OK GET FLASHING\r\n");
    QTest::newRow("reply words after the start command") << 0 << QByteArray("ok get A B\r\n");
}

void TestCommunication::wordsDoNotDriveTheTransfer()
{
    QFETCH(int, after);
    QFETCH(QByteArray, words);
    const QByteArray image = testImage(1024);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(1024));
    for (int i = 0; i <= 2; ++i) {
        // The pause gives a data command sent on the words the time to show.
        if (i == after)
            fake.send(words).pause(100);
        fake.send("OK SET\r\n");
        fake.expect(i < 2 ? dataCommand(image, i * 512, 512) : endCommand());
    }
    fake.send("OK SET\r\n").expectClosed();
    QCOMPARE(runToEnd(fake, image), normalTexts({ 0, 50 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A unit that repeats an acknowledgement behind its version reply: the start
// command is still queued then, so that acknowledgement cannot be its answer,
// and the first data command must not go out ahead of it.
void TestCommunication::repeatedAcknowledgementBeforeStart()
{
    const QByteArray image = testImage(600);
    FakeDevice fake;
    // The repeated acknowledgement comes in the version reply's segment.
    login(fake, "s3cret", "\"KVX-Stage\"", "V1.04B0119\r\nOK SET");
    transfer(fake, image).send("OK SET\r\n").expectClosed();
    QCOMPARE(runToEnd(fake, image), normalTexts({ 0, 85 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestCommunication::endNeedsTheTwoWordReply()
{
    const QByteArray image = testImage(100);
    FakeDevice fake;
    login(fake);
    transfer(fake, image)
            .send("OK SET FLASHING\r\n")
            .send("NOTIFY X\r\n")
            .pause(100)
            .send("OK SET\r\n")
            .expectClosed();
    QCOMPARE(runToEnd(fake, image), normalTexts({ 0 }));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Runs on the same objects: a run that ended with an error leaves nothing
// behind; the next one reads name and version again, shows its own first
// "Sending... 0%" and reports each resend once.
void TestCommunication::secondRun()
{
    const QByteArray small = testImage(300, 2);
    const QByteArray image = testImage(1024, 3);
    FakeDevice fake;
    login(fake);
    fake.expect(startCommand(300))
            .send("OK SET\r\n")
            .expect(dataCommand(small, 0, 300))
            .closeConnection();
    login(fake, "s3cret", "\"Second\"", "V2.00B0007");
    fake.expect(startCommand(1024))
            .send("OK SET\r\n")
            .expect(dataCommand(image, 0, 512))
            .send("NG\r\n")
            .expect(dataCommand(image, 0, 512))
            .send("OK SET\r\n")
            .expect(dataCommand(image, 512, 512))
            .send("NG\r\n")
            .expect(dataCommand(image, 512, 512))
            .send("OK SET\r\n")
            .expect(endCommand())
            .send("OK SET\r\n")
            .expectClosed();

    Runner runner;
    runner.start(fake.hostText(), &small);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events,
             (QStringList{ "connecting...", "Starting...", "Sending... 0%",
                           "ERROR: The remote host closed the connection", kCompleted }));
    QCOMPARE(runner.comm.m_runState, 0);

    runner.events.clear();
    runner.start(fake.hostText(), &image);
    QTRY_VERIFY(runner.finished());
    QCOMPARE(runner.events,
             (QStringList{ "connecting...", "Starting...", "Sending... 0%", "Retry: 4 (50%)",
                           "Sending... 50%", "Retry: 6 (100%)", "Writing", kCompleted,
                           "Firmware update completed." }));
    QCOMPARE(runner.comm.m_deviceName, QStringLiteral("Second"));
    QCOMPARE(runner.comm.m_fwVersion, QStringLiteral("2.00"));
    QCOMPARE(runner.comm.m_fwBuild, QStringLiteral("0007"));
    QCOMPARE(runner.initCompleted, 2);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestCommunication::values_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<int>("initCompleted");

    QTest::newRow("quoted name") << QStringList{ "DEVICE/NAME:\"KVX-Stage\"" } << "KVX-Stage"
                                 << ""
                                 << "" << 0;
    QTest::newRow("quotes inside") << QStringList{ "DEVICE/NAME:A\"B\"C" } << "ABC"
                                   << ""
                                   << "" << 0;
    QTest::newRow("lower-case key") << QStringList{ "device/name:x" } << "x"
                                    << ""
                                    << "" << 0;
    QTest::newRow("version and build") << QStringList{ "DEVICE/VER/SYSTEM:V1.04B0119" } << ""
                                       << "1.04"
                                       << "0119" << 1;
    QTest::newRow("more letters") << QStringList{ "DEVICE/VER/SYSTEM:VER1.04BUILD0119X" } << ""
                                  << "1.04"
                                  << "0119" << 1;
    QTest::newRow("lower case is no separator")
            << QStringList{ "DEVICE/VER/SYSTEM:v1.04b0119" } << ""
            << "v1.04b0119"
            << "" << 1;
    QTest::newRow("version only") << QStringList{ "DEVICE/VER/SYSTEM:V2" } << ""
                                  << "2"
                                  << "" << 1;
    QTest::newRow("empty value") << QStringList{ "DEVICE/VER/SYSTEM:" } << ""
                                 << ""
                                 << "" << 1;
    QTest::newRow("name, then version")
            << QStringList{ "DEVICE/NAME:N", "DEVICE/VER/SYSTEM:V1B2" } << "N"
            << "1"
            << "2" << 1;
    QTest::newRow("other words") << QStringList{ "VOL", "DEVICE/NAMES", "NAME:x" } << ""
                                 << ""
                                 << "" << 0;
}

void TestCommunication::values()
{
    QFETCH(QStringList, texts);
    Communication comm;
    QSignalSpy init(&comm, &Communication::fwup_initCompleted);
    for (const QString &text : qAsConst(texts))
        comm.recievedData(text);
    QTEST(comm.m_deviceName, "name");
    QTEST(comm.m_fwVersion, "version");
    QTEST(comm.m_fwBuild, "build");
    QTEST(int(init.size()), "initCompleted");
}

// bytes * 100 overflows 32 bits from 21,474,837 bytes on.
void TestCommunication::percentOfLargeImage()
{
    const QByteArray image(25000000, '\0');
    Communication comm;
    QSignalSpy progress(&comm, &Communication::fwup_progress);
    comm.m_image = &image;
    comm.m_runState = 2;
    comm.m_sentBytes = 24000000;
    comm.slot_retry_times(7);
    QCOMPARE(progress.value(0).value(0).toString(), QStringLiteral("Retry: 7 (96%)"));
    QCOMPARE(Communication::percentOf(22000000, 25000000), 88);
    QCOMPARE(Communication::percentOf(2147483647, 2147483647), 100);
}

QTEST_GUILESS_MAIN(TestCommunication)
#include "tst_communication.moc"
