#include "protocol/mixerprotocol.h"

#include "common/fakedevice.h"
#include "common/isolation.h"
#include "common/pendingport.h"
#include "common/unitscripts.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace UnitScript;

// Drives one MixerProtocol against a FakeDevice and records its signals.
struct Client
{
    MixerProtocol protocol;
    QSignalSpy texts{ &protocol, &MixerProtocol::readyRead };
    QSignalSpy errors{ &protocol, &MixerProtocol::errorSig };
    QSignalSpy retries{ &protocol, &MixerProtocol::sig_retry_times };

    Client(int timeoutMs = 5000)
    {
        protocol.m_connectTimeoutMs = timeoutMs;
        protocol.m_replyTimeoutMs = timeoutMs;
    }
    QStringList textList() const
    {
        QStringList list;
        for (const QList<QVariant> &args : texts)
            list << args.at(0).toString();
        return list;
    }
    QList<int> retryList() const
    {
        QList<int> list;
        for (const QList<QVariant> &args : retries)
            list << args.at(0).toInt();
        return list;
    }
    // Like the transfer: the first acknowledgement after login brings the
    // next command (any read releases the queue, so it must not wait there).
    void queueOnAcknowledgement(const QString &command)
    {
        QObject::connect(&protocol, &MixerProtocol::readyRead, &protocol,
                         [this, command, done = false](const QString &text) mutable {
                             if (text.isEmpty() && !done) {
                                 done = true;
                                 protocol.queueSet(command);
                             }
                         });
    }
    QString errorText(int i = 0) const { return errors.value(i).value(1).toString(); }
    QAbstractSocket::SocketError errorCode(int i = 0) const
    {
        return errors.value(i).value(0).value<QAbstractSocket::SocketError>();
    }
};

static const QStringList kLoginTexts{ "DEVICE/NAME:\"KVX-Stage\"", "DEVICE/VER/SYSTEM:V1.04B0119" };

class TestMixerProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loginExchange();
    void promptVariants_data();
    void promptVariants();
    void queuedCommands();
    void acknowledgement_data();
    void acknowledgement();
    void twoWordOkDropsRestOfRead();
    void replyWords();
    void splitAtEveryByte_data();
    void splitAtEveryByte();
    void randomCutsSameResult();
    void overlongLineDropped();
    void rawBlockAndResend();
    void resendLimit_data();
    void resendLimit();
    void rawBlockHeldBehindReply_data();
    void rawBlockHeldBehindReply();
    void heldBlocksKeepTheirOrder();
    void wrongPassword_data();
    void wrongPassword();
    void promptOnConnect_data();
    void promptOnConnect();
    void promptOnConnectWrongPassword();
    void droppedPassword_data();
    void droppedPassword();
    void lineEnds_data();
    void lineEnds();
    void lastWordsBeforeTheClose();
    void cutReply_data();
    void cutReply();
    void cutPromptWaitsForItsRest_data();
    void cutPromptWaitsForItsRest();
    void setWithWords_data();
    void setWithWords();
    void setWithWordsNeedsACommandInFlight();
    void socketModes_data();
    void socketModes();
    void timeouts_data();
    void timeouts();
    void slowReplyAllowedOnce();
    void connectTimeout();
    void connectionRefused();
    void unreachableReportedLater();
    void remoteClose();
    void closeDeviceStopsWriting();
    void reconnectForgetsOldConnection();
};

void TestMixerProtocol::initTestCase()
{
    qRegisterMetaType<QAbstractSocket::SocketError>();
}

void TestMixerProtocol::loginExchange()
{
    FakeDevice fake;
    // The version query must wait for the reply to the name query: the pause
    // gives an early write the time to show.
    fake.expect("\r\n")
            .pause(20)
            .send("Enter Password:")
            .expect("p\xc3\xa4ss word\r\n")
            .send("Login Successful\r\n")
            .expect("GET DEVICE/NAME\r\n")
            .pause(50)
            .send("OK GET DEVICE/NAME:\"KVX-Stage\"\r\n")
            .expect("GET DEVICE/VER/SYSTEM\r\n")
            .send("OK GET DEVICE/VER/SYSTEM:V1.04B0119\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("päss word"));
    QTRY_COMPARE(client.texts.size(), 2);
    QCOMPARE(client.textList(), kLoginTexts);
    QVERIFY(client.errors.isEmpty());
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestMixerProtocol::promptVariants_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::newRow("Enter Password") << QByteArrayList{ "Enter Password:" };
    QTest::newRow("Entry Password") << QByteArrayList{ "Entry Password:" };
    QTest::newRow("with line end") << QByteArrayList{ "Enter Password:\r\n" };
    QTest::newRow("cut in two") << QByteArrayList{ "Enter Pa", "ssword: " };
    QTest::newRow("after an empty line") << QByteArrayList{ "\r\n", "Enter Password:" };
    QTest::newRow("after an empty line, one read") << QByteArrayList{ "\r\nEnter Password:" };
    QTest::newRow("after an ignored line") << QByteArrayList{ "Welcome\r\nEnter Password:" };
}

void TestMixerProtocol::promptVariants()
{
    QFETCH(QByteArrayList, pieces);
    FakeDevice fake;
    fake.expect("\r\n");
    for (const QByteArray &piece : pieces)
        fake.send(piece).pause(20);
    fake.expect("pw\r\n").send("Login Successful").expect("GET DEVICE/NAME\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("pw"));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

void TestMixerProtocol::queuedCommands()
{
    FakeDevice fake;
    login(fake);
    fake.expect("GET A\r\n")
            .pause(50)
            .send("OK GET\r\n")
            .expect("SET\r\n")
            .pause(50)
            .send("OK SET\r\n")
            .expect("SET UPDATE/SYSTEM:END\r\n")
            .send("OK SET\r\n")
            .expect("SET UPDATE/SYSTEM:END\r\n")
            .send("OK SET\r\n")
            .expect("GET  B C\r\n")
            .send("OK GET\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);

    client.protocol.queueGet(QStringLiteral("A "), true); // deferred: stays queued
    QTest::qWait(50);
    QCOMPARE(fake.received().endsWith("GET A\r\n"), false);
    client.protocol.queueSet(QString());
    client.protocol.queueSet(QStringLiteral("UPDATE/SYSTEM:END"));
    client.protocol.queueSet(QStringLiteral(" UPDATE/SYSTEM:END"));
    client.protocol.queueGet(QStringLiteral("  B C"));
    QTRY_COMPARE(client.texts.size(), 7);
    QCOMPARE(client.textList().mid(2),
             (QStringList{ QString(), QString(), QString(), QString(), QString() }));
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Every way a unit's acknowledgement can reach the client makes the next
// queued command go out, once, as soon as the words are complete (the line
// end need not have come). A CR ends the line by itself; the LF that
// follows it, in the same read or the next, is part of that line end.
void TestMixerProtocol::acknowledgement_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("ackedBy"); // pieces that complete the acknowledgement
    QTest::newRow("OK SET") << QByteArrayList{ "OK SET\r\n" } << 1;
    QTest::newRow("lower case") << QByteArrayList{ "ok set\r\n" } << 1;
    QTest::newRow("LF only") << QByteArrayList{ "OK SET\n" } << 1;
    QTest::newRow("CR only") << QByteArrayList{ "OK SET\r" } << 1;
    QTest::newRow("cut in the word SET") << QByteArrayList{ "OK S", "ET\r\n" } << 2;
    QTest::newRow("cut before CR") << QByteArrayList{ "OK SET", "\r\n" } << 1;
    QTest::newRow("cut between CR and LF") << QByteArrayList{ "OK SET\r", "\n" } << 1;
    QTest::newRow("one byte at a time")
            << QByteArrayList{ "O", "K", " ", "S", "E", "T", "\r", "\n" } << 6;
    QTest::newRow("after a notification")
            << QByteArrayList{ "NOTIFY", " VOL 3\r\nOK SET\r\n" } << 2;
    QTest::newRow("after a notification, CR only")
            << QByteArrayList{ "NOTIFY VOL 3\rOK SET\r" } << 1;
}

void TestMixerProtocol::acknowledgement()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, ackedBy);
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n");
    for (int i = 0; i < pieces.size(); ++i) {
        fake.send(pieces.at(i)).pause(20);
        if (i + 1 == ackedBy)
            fake.expect("SET B\r\n");
    }
    fake.send("OK SET\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.queueSet(QStringLiteral("B"));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QTRY_COMPARE(client.textList().count(QString()), 2);
    QTest::qWait(20);
    QCOMPARE(client.textList().count(QString()), 2);
    QVERIFY(client.errors.isEmpty());
}

void TestMixerProtocol::twoWordOkDropsRestOfRead()
{
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n")
            .send("OK SET\r\nNOTIFY X\r\nNG\r\n")
            .pause(20)
            .expect("SET B\r\n")
            .send("OK SET\r\n")
            .pause(20)
            .send("NOTIFY Y\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.queueSet(QStringLiteral("B"));
    QTRY_COMPARE(client.texts.size(), 5);
    QCOMPARE(client.textList().mid(2), (QStringList{ QString(), QString(), "Y" }));
    QVERIFY(client.retries.isEmpty());
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestMixerProtocol::replyWords()
{
    FakeDevice fake;
    login(fake, "s3cret", "My Unit");
    fake.send("NOTIFY VOL  -3 dB\r\n")
            .send("OK WHATEVER\r\n")
            .send("notify a\r\n")
            .send("NOTIFY\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 7);
    QTest::qWait(20);
    QCOMPARE(client.textList(),
             (QStringList{ "DEVICE/NAME:My", "Unit", "DEVICE/VER/SYSTEM:V1.04B0119", "VOL", "-3",
                           "dB", "a" }));
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// The receive path judges complete lines only, whatever the reads look like:
// cut at any byte (inside a UTF-8 character too), the same signals come out.
void TestMixerProtocol::splitAtEveryByte_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("retries");

    QTest::newRow("name, notification, NG, acknowledgement")
            << QByteArray("OK GET DEVICE/NAME:Gr\xc3\xbc\xc3\x9f"
                          "e\r\nNOTIFY X  Y\r\nNG\r\nok set\r\n")
            << QStringList{ QStringLiteral("DEVICE/NAME:Grüße"), "X", "Y", QString() }
            << QList<int>{ -1 };
    QTest::newRow("NUL ends a line's text") << QByteArray("NOTIFY A\0B\r\nOK GET V\r\n", 22)
                                            << QStringList{ "A", "V" } << QList<int>{};
}

void TestMixerProtocol::splitAtEveryByte()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, retries);
    for (int cut = 0; cut <= stream.size(); ++cut) {
        Client client; // not connected: nothing is written
        client.protocol.handleReceived(stream.left(cut));
        client.protocol.handleReceived(stream.mid(cut));
        QVERIFY2(client.textList() == texts,
                 qPrintable(QStringLiteral("cut at %1: ").arg(cut) + client.textList().join('|')));
        QCOMPARE(client.retryList(), retries);
    }
    Client bytewise;
    for (char c : stream)
        bytewise.protocol.handleReceived(QByteArray(1, c));
    QCOMPARE(bytewise.textList(), texts);
    QCOMPARE(bytewise.retryList(), retries);
}

// Lines judged whole: for streams without prompts and two-word OKs (whose
// handling ignores the rest of a read on purpose), where the reads are cut
// makes no difference to what comes out.
void TestMixerProtocol::randomCutsSameResult()
{
    const QByteArrayList vocabulary{ "NOTIFY VOL  -3\r\n",
                                     "OK GET DEVICE/NAME:\"Gr\xc3\xbc\xc3\x9f"
                                     "e\"\r\n",
                                     "NG\r\n",
                                     "ng x\r\n",
                                     "OK WRITE\r\n",
                                     "noise\r\n",
                                     "\r\n",
                                     "\n",
                                     "OK SET 1 2 3\n",
                                     QByteArray("NOTIFY A\0B\r\n", 12),
                                     "NOT\rIFY C\r\n",
                                     "NOTIFY \xe2\x82\xac\r\n",
                                     "O\xe2\x84\xaa GET K\r\n",
                                     "\xff\xfe NOTIFY\r\n" };
    quint32 seed = 12345;
    auto next = [&seed](quint32 bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 200; ++round) {
        QByteArray stream;
        const int lines = 1 + int(next(12));
        for (int i = 0; i < lines; ++i)
            stream += vocabulary.at(int(next(quint32(vocabulary.size()))));
        Client whole;
        whole.protocol.handleReceived(stream);

        Client cut;
        int at = 0;
        while (at < stream.size()) {
            const int n = 1 + int(next(7));
            cut.protocol.handleReceived(stream.mid(at, n));
            at += n;
        }
        QVERIFY2(cut.textList() == whole.textList(), stream.toPercentEncoding().constData());
        QCOMPARE(cut.retryList(), whole.retryList());
    }
}

void TestMixerProtocol::overlongLineDropped()
{
    Client client;
    QTest::ignoreMessage(QtWarningMsg, "dropping a line of more than 65536 bytes");
    client.protocol.handleReceived("NOTIFY " + QByteArray(MixerProtocol::kMaxPendingBytes, 'A'));
    client.protocol.handleReceived(QByteArray(1000, 'B') + " C\r\nNOTIFY X\r\n");
    QCOMPARE(client.textList(), QStringList{ "X" });
}

void TestMixerProtocol::rawBlockAndResend()
{
    const QByteArray block("SET BIN \r\n\0\r\x01\xff\n end\r\n", 20);
    FakeDevice fake;
    login(fake);
    fake.expect(block)
            .send("NG\r\n")
            .expect(block)
            .send("ng\r\n")
            .expect(block)
            .send("OK SET\r\n")
            .expect("SET END\r\n")
            .send("NG\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.sendRaw(block);
    QTRY_COMPARE(client.texts.size(), 3);
    client.protocol.queueSet(QStringLiteral("END"));
    QTRY_COMPARE(client.retries.size(), 3);
    // Counts include the two OK replies of the login queries; -1: NG to a
    // command with nothing to resend.
    QCOMPARE(client.retryList(), (QList<int>{ 3, 4, -1 }));
    QVERIFY(client.errors.isEmpty());
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestMixerProtocol::resendLimit_data()
{
    QTest::addColumn<int>("ngCount");
    QTest::addColumn<bool>("givesUp");
    QTest::newRow("eight resends, then OK") << 8 << false;
    QTest::newRow("ninth NG in a row") << 9 << true;
}

void TestMixerProtocol::resendLimit()
{
    QFETCH(int, ngCount);
    QFETCH(bool, givesUp);
    const QByteArray block = "SET UPDATE/SYSTEM:BIN SIZE:3 offset:400 bin:abc\r\n";
    const QByteArray next = "SET UPDATE/SYSTEM:BIN SIZE:3 offset:403 bin:def\r\n";
    FakeDevice fake;
    login(fake);
    fake.expect(block);
    for (int i = 0; i < ngCount; ++i) {
        fake.send("NG\r\n");
        if (i < MixerProtocol::kMaxResends)
            fake.expect(block);
    }
    if (givesUp) {
        fake.expectClosed();
    } else {
        // The count starts again with every block.
        fake.send("OK SET\r\n").expect(next);
        for (int i = 0; i < MixerProtocol::kMaxResends; ++i)
            fake.send("NG\r\n").expect(next);
        fake.send("OK SET\r\n");
    }

    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.sendRaw(block, 39); // named by "SET UPDATE/SYSTEM:BIN SIZE:3 offset:400"
    if (givesUp) {
        QTRY_COMPARE(client.errors.size(), 1);
        QCOMPARE(client.errorText(),
                 QStringLiteral("The unit kept answering NG to \"SET UPDATE/SYSTEM:"
                                "BIN SIZE:3 offset:400\"; gave up after 8 resends."));
        QCOMPARE(client.retries.size(), MixerProtocol::kMaxResends);
        QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    } else {
        QTRY_COMPARE(client.texts.size(), 3);
        client.protocol.sendRaw(next);
        QTRY_COMPARE(client.texts.size(), 4);
        QCOMPARE(client.retries.size(), 2 * MixerProtocol::kMaxResends);
        QVERIFY(client.errors.isEmpty());
        QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    }
    QVERIFY(!client.retryList().contains(-1));
    QTest::qWait(20);
    QVERIFY(client.errors.size() <= 1);
}

// A raw block must not overtake a queued command whose reply is outstanding;
// it goes out right after that reply has been handled.
void TestMixerProtocol::rawBlockHeldBehindReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("acknowledgement") << QByteArray("OK SET\r\n") << QStringList{ QString() };
    QTest::newRow("value reply") << QByteArray("OK GET DEVICE/NAME:B\r\n")
                                 << QStringList{ "DEVICE/NAME:B" };
}

void TestMixerProtocol::rawBlockHeldBehindReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, texts);
    const QByteArray block("BIN \0\r\n", 7);
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n")
            .pause(60)
            .send(reply)
            .expect(block)
            .send("NG\r\n")
            .expect(block)
            .send("OK SET\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.sendRaw(block);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QTRY_COMPARE(client.texts.size(), 2 + texts.size() + 1);
    QCOMPARE(client.textList().mid(2), texts + QStringList{ QString() });
    QCOMPARE(client.retryList(), QList<int>{ 4 }); // the held block is the one resent
}

// A block given while another waits behind a reply must not overtake it, not
// even when it is given from inside the handling of that reply.
void TestMixerProtocol::heldBlocksKeepTheirOrder()
{
    const QByteArray first("BIN 1\0\r\n", 8);
    const QByteArray second("BIN 2\0\r\n", 8);
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n").pause(60).send("OK SET\r\n").expect(first + second);
    Client client;
    // Like the transfer: the acknowledgement brings the next block at once.
    QObject::connect(&client.protocol, &MixerProtocol::readyRead,
                     [&client, &second](const QString &text) {
                         if (text.isEmpty())
                             client.protocol.sendRaw(second);
                     });
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.sendRaw(first);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A refusal of any kind ends the run: at once when it cannot be the answer
// to the wake-up, after the grace otherwise. A refusal that may have answered
// the wake-up and is followed by a prompt and no verdict gets the password
// once more (the unit may have dropped the first); the next refusal is final.
// The script's "<pw>" is the client writing the password, "<pause>" 50 ms of
// the unit's silence; the script ends with the client closing.
void TestMixerProtocol::wrongPassword_data()
{
    QTest::addColumn<QByteArrayList>("script");
    const QByteArray pw = "<pw>";
    const QByteArray pause = "<pause>";
    const QByteArray prompt = "Enter Password:";
    QTest::newRow("Password Failed") << QByteArrayList{ prompt, pw, "Password Failed\r\n" };
    QTest::newRow("without line end") << QByteArrayList{ prompt, pw, "Password Failed" };
    QTest::newRow("CR only") << QByteArrayList{ prompt, pw, "Password Failed\r" };
    QTest::newRow("NUL") << QByteArrayList{ QByteArray("Enter Password:\0", 16), pw,
                                            QByteArray("Password Failed\0", 16) };
    QTest::newRow("followed by a new prompt")
            << QByteArrayList{ prompt, pw, "Password Failed\r\nEnter Password:", pw,
                               "Password Failed\r\n" };
    QTest::newRow("new prompt in a later read")
            << QByteArrayList{ prompt, pw, "Password Failed\r\n", pause,
                               prompt, pw, "Password Failed\r\n" };
    QTest::newRow("no line ends at all")
            << QByteArrayList{ prompt, pw, "Password FailedEnter Password:", pw,
                               "Password FailedEnter Password:" };
    QTest::newRow("two failures in one read")
            << QByteArrayList{ prompt, pw, "Password Failed\r\nPassword Failed\r\n" };
    QTest::newRow("prompt without a verdict") << QByteArrayList{ prompt, pw, prompt, pw, prompt };
    QTest::newRow("silence") << QByteArrayList{ prompt, pw };
    QTest::newRow("failure to the wake-up, then to the password")
            << QByteArrayList{ "Password Failed\r\nEnter Password:", pw, "Password Failed\r\n" };
}

void TestMixerProtocol::wrongPassword()
{
    QFETCH(QByteArrayList, script);
    FakeDevice fake;
    fake.expect("\r\n");
    for (const QByteArray &step : script) {
        if (step == "<pw>")
            fake.expect("wrong\r\n");
        else if (step == "<pause>")
            fake.pause(50);
        else
            fake.send(step);
    }
    fake.expectClosed();
    Client client(600);
    client.protocol.m_passwordGraceMs = 300;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("wrong"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::UnknownSocketError);
    QCOMPARE(client.errorText(), QStringLiteral("The unit rejected the password."));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QCOMPARE(client.protocol.socketState(), QAbstractSocket::UnconnectedState);
    QTest::qWait(350);
    QCOMPARE(client.errors.size(), 1);
    QVERIFY(client.texts.isEmpty());
    QCOMPARE(fake.received().count("wrong\r\n"), script.count("<pw>"));
}

// A unit that prompts as soon as the connection opens takes the wake-up for an
// empty password: its "Password Failed" and new prompt cross the password the
// client has already written, whose verdict follows, late where the unit is
// slow to judge a password. The client logs in and writes the password once.
void TestMixerProtocol::promptOnConnect_data()
{
    QTest::addColumn<QByteArrayList>("answerToWakeUp");
    QTest::addColumn<int>("verdictMs");
    QTest::newRow("one read") << QByteArrayList{ "Password Failed\r\nEnter Password:" } << 20;
    QTest::newRow("two reads") << QByteArrayList{ "Password Failed\r\n", "Enter Password:" } << 20;
    QTest::newRow("CR only") << QByteArrayList{ "Password Failed\rEnter Password:" } << 20;
    QTest::newRow("no line ends") << QByteArrayList{ "Password FailedEnter Password:" } << 20;
    QTest::newRow("slow verdict") << QByteArrayList{ "Password Failed\r\nEnter Password:" } << 700;
}

void TestMixerProtocol::promptOnConnect()
{
    QFETCH(QByteArrayList, answerToWakeUp);
    QFETCH(int, verdictMs);
    FakeDevice fake;
    password(fake);
    for (const QByteArray &piece : answerToWakeUp)
        fake.send(piece).pause(20);
    queries(fake.pause(verdictMs));
    // The client's own delay before it answers a new prompt again.
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    QCOMPARE(client.textList(), kLoginTexts);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    // The answer the client held back is not written later either.
    QTest::qWait(1100);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

// The same unit with a wrong password: the verdict on the password written
// first is the second "Password Failed".
void TestMixerProtocol::promptOnConnectWrongPassword()
{
    FakeDevice fake;
    fake.expect("\r\n")
            .send("Enter Password:")
            .expect("wrong\r\n")
            .send("Password Failed\r\nEnter Password:")
            .pause(20)
            .send("Password Failed\r\nEnter Password:")
            .expectClosed();
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("wrong"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorText(), QStringLiteral("The unit rejected the password."));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QCOMPARE(fake.received(), QByteArray("\r\nwrong\r\n"));
}

// A unit that flushes its input when it refuses the wake-up loses the
// password that crossed the refusal and waits at its new prompt: that prompt
// is answered once more when no verdict has come within twice the unit's own
// refusal time plus a margin, at least 1 s. A unit that kept the password
// gets its verdict out within that wait and no second password. -1: the unit
// dropped the password, and takes the second one at once.
void TestMixerProtocol::droppedPassword_data()
{
    QTest::addColumn<QByteArray>("refusal");
    QTest::addColumn<int>("refusalMs");
    QTest::addColumn<int>("verdictMs");
    const QByteArray failed = "Password Failed\r\nEnter Password:";
    const QByteArray prompt = "Enter Password:";
    QTest::newRow("dropped, quick refusal") << failed << 0 << -1;
    QTest::newRow("dropped, slow refusal") << failed << 400 << -1;
    QTest::newRow("dropped, new prompt alone") << prompt << 0 << -1;
    QTest::newRow("kept, verdict within the 1 s least wait") << failed << 0 << 750;
    QTest::newRow("kept, slow refusal, slower verdict") << failed << 600 << 1300;
    QTest::newRow("kept, new prompt alone, slow") << prompt << 600 << 1300;
}

void TestMixerProtocol::droppedPassword()
{
    QFETCH(QByteArray, refusal);
    QFETCH(int, refusalMs);
    QFETCH(int, verdictMs);
    FakeDevice fake;
    password(fake).pause(refusalMs).send(refusal);
    if (verdictMs < 0)
        fake.expect("s3cret\r\n");
    else
        fake.pause(verdictMs);
    queries(fake);
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE_WITH_TIMEOUT(client.texts.size(), 2, 8000);
    QCOMPARE(client.textList(), kLoginTexts);
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
    QCOMPARE(fake.received().count("s3cret\r\n"), verdictMs < 0 ? 2 : 1);
}

// Whatever ends a unit's lines, the same bytes go out and the same texts come
// in. A unit that never ends its lines (each reply its own segment) is judged
// after the quiet time.
void TestMixerProtocol::lineEnds_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR") << QByteArray("\r");
    QTest::newRow("none") << QByteArray();
}

void TestMixerProtocol::lineEnds()
{
    QFETCH(QByteArray, end);
    FakeDevice fake;
    login(fake, "s3cret", "\"KVX-Stage\"", "V1.04B0119", end)
            .expect("SET A\r\n")
            .send("NOTIFY VOL 3" + end)
            .pause(150)
            .send("OK SET" + end)
            .expect("SET B\r\n")
            .send("ok set" + end);
    Client client;
    client.protocol.m_quietTimeMs = 40;
    client.queueOnAcknowledgement(QStringLiteral("B"));
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.texts.size(), 6);
    QCOMPARE(client.textList(), (kLoginTexts + QStringList{ "VOL", "3", QString(), QString() }));
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

// A unit that never ends its lines may acknowledge and hang up at once (it
// restarts after the end command): its last words are judged before the
// close, however long the quiet time, and the close is no error of the run.
void TestMixerProtocol::lastWordsBeforeTheClose()
{
    FakeDevice fake;
    login(fake).expect("SET UPDATE/SYSTEM:END\r\n").send("OK SET").closeConnection();
    Client client;
    client.protocol.m_quietTimeMs = 60000;
    // The run closes its side once the end command is acknowledged.
    QObject::connect(&client.protocol, &MixerProtocol::readyRead, &client.protocol,
                     [&client](const QString &text) {
                         if (text.isEmpty() && client.texts.size() >= 3)
                             client.protocol.closeDevice();
                     });
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("UPDATE/SYSTEM:END"));
    QTRY_COMPARE(client.texts.size(), 3);
    QCOMPARE(client.textList(), kLoginTexts + QStringList{ QString() });
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QCOMPARE(client.errors.size(), 0);
}

// A line cut by the network is joined when its rest comes within the quiet
// time; when nothing follows, it is judged as it stands.
void TestMixerProtocol::cutReply_data()
{
    QTest::addColumn<int>("quietMs");
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<QString>("name");
    QTest::newRow("rest within the quiet time")
            << 2000 << QByteArray("ME:\"KVX-Stage\"\r\n") << "DEVICE/NAME:\"KVX-Stage\"";
    QTest::newRow("no rest") << 40 << QByteArray() << "DEVICE/NA";
}

void TestMixerProtocol::cutReply()
{
    QFETCH(int, quietMs);
    QFETCH(QByteArray, rest);
    QFETCH(QString, name);
    FakeDevice fake;
    password(fake)
            .send("Login Successful\r\n")
            .expect("GET DEVICE/NAME\r\n")
            .send("OK GET DEVICE/NA")
            .pause(100);
    if (!rest.isEmpty())
        fake.send(rest);
    fake.expect("GET DEVICE/VER/SYSTEM\r\n").send("OK GET DEVICE/VER/SYSTEM:V1.04B0119\r\n");
    Client client;
    client.protocol.m_quietTimeMs = quietMs;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    QCOMPARE(client.textList(), (QStringList{ name, kLoginTexts.at(1) }));
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

// The start of a prompt is no reply line, however long its rest takes.
void TestMixerProtocol::cutPromptWaitsForItsRest_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("isLogin"); // the cut text is "Login Successful"
    QTest::newRow("password prompt") << QByteArray("Enter Pa") << QByteArray("ssword:") << false;
    QTest::newRow("one letter") << QByteArray("E") << QByteArray("ntry Password:") << false;
    QTest::newRow("login") << QByteArray("Login Succ") << QByteArray("essful\r\n") << true;
}

void TestMixerProtocol::cutPromptWaitsForItsRest()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(bool, isLogin);
    FakeDevice fake;
    fake.expect("\r\n");
    if (isLogin)
        fake.send("Enter Password:").expect("pw\r\n");
    fake.send(first).pause(200).send(second);
    if (!isLogin)
        fake.expect("pw\r\n").send("Login Successful\r\n");
    fake.expect("GET DEVICE/NAME\r\n");
    Client client;
    client.protocol.m_quietTimeMs = 30;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("pw"));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
    QVERIFY(client.texts.isEmpty());
}

// With OK SET with words taken as acknowledgements (a transfer between its
// start and end command), such a line answers the command in flight once; no
// other reply with words does, and with the setting off none does.
void TestMixerProtocol::setWithWords_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("acknowledges");
    const QString ack;
    QTest::newRow("off: words are values") << false << QByteArray("OK SET UPDATE/SYSTEM:BIN\r\n")
                                           << QStringList{ "UPDATE/SYSTEM:BIN", ack, ack } << false;
    QTest::newRow("on: acknowledgement") << true << QByteArray("OK SET UPDATE/SYSTEM:BIN\r\n")
                                         << QStringList{ ack, ack } << true;
    QTest::newRow("on: several words, one acknowledgement")
            << true << QByteArray("ok set A B C\r") << QStringList{ ack, ack } << true;
    QTest::newRow("on: query reply")
            << true << QByteArray("OK GET A\r\n") << QStringList{ "A", ack, ack } << false;
    QTest::newRow("on: notification") << true << QByteArray("NOTIFY SET A\r\n")
                                      << QStringList{ "SET", "A", ack, ack } << false;
    QTest::newRow("on: other OK") << true << QByteArray("OK SETX A\r\n") << QStringList{ ack, ack }
                                  << false;
}

void TestMixerProtocol::setWithWords()
{
    QFETCH(bool, on);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, texts);
    QFETCH(bool, acknowledges);
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n").send(reply);
    if (!acknowledges)
        fake.pause(100).send("OK SET\r\n");
    fake.expect("SET B\r\n").send("OK SET\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.setAcknowledgeSetWithWords(on);
    client.queueOnAcknowledgement(QStringLiteral("B"));
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.texts.size(), 2 + texts.size());
    QCOMPARE(client.textList().mid(2), texts);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

// Once acknowledged, a command is answered: a further OK SET with words
// acknowledges nothing, and its words are passed on like values.
void TestMixerProtocol::setWithWordsNeedsACommandInFlight()
{
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n").send("OK SET A\r\n").pause(50).send("OK SET ECHO\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.setAcknowledgeSetWithWords(true);
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.texts.size(), 4);
    QCOMPARE(client.textList().mid(2), (QStringList{ QString(), "ECHO" }));
    QTest::qWait(50);
    QCOMPARE(client.texts.size(), 4);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// Both socket modes carry the same exchange and see the unit's close: the
// unbuffered one by a failed read, the buffered one by the socket's error.
void TestMixerProtocol::socketModes_data()
{
    QTest::addColumn<bool>("unbuffered");
    QTest::newRow("buffered") << false;
    QTest::newRow("unbuffered") << true;
}

void TestMixerProtocol::socketModes()
{
    QFETCH(bool, unbuffered);
    const QByteArray block("SET BIN \r\n\0\r\x01\xff\n end\r\n", 20);
    FakeDevice fake;
    login(fake);
    fake.expect(block)
            .send("NG\r\n")
            .expect(block)
            .send("OK S")
            .pause(20)
            .send("ET\r\nNOTIFY " + QByteArray(20000, 'x') + "\r\n")
            .expect("SET A\r\n")
            .closeConnection();
    Client client;
    client.protocol.m_unbufferedSocket = unbuffered;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.sendRaw(block);
    QTRY_COMPARE(client.texts.size(), 3);
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::RemoteHostClosedError);
    QCOMPARE(client.errorText(), QStringLiteral("The remote host closed the connection"));
    QCOMPARE(client.textList(), kLoginTexts + QStringList{ QString() });
    QCOMPARE(client.retryList(), QList<int>{ 3 });
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestMixerProtocol::timeouts_data()
{
    QTest::addColumn<QByteArray>("stage");
    QTest::addColumn<QString>("message");

    QTest::newRow("no prompt") << QByteArray("prompt")
                               << "No password prompt from the unit within 200 ms.";
    QTest::newRow("lower-case prompt")
            << QByteArray("lower-case prompt") << "No password prompt from the unit within 200 ms.";
    QTest::newRow("no reply to a query")
            << QByteArray("query")
            << "No reply from the unit to \"GET DEVICE/NAME\" within 200 ms.";
    QTest::newRow("reply never completed")
            << QByteArray("cut reply")
            << "No reply from the unit to \"GET DEVICE/NAME\" within 200 ms.";
    QTest::newRow("unusable reply")
            << QByteArray("unusable reply")
            << "No usable reply from the unit to \"SET X offset:0\" within 200 ms.";
    QTest::newRow("notifications are no reply")
            << QByteArray("notify") << "No reply from the unit to \"SET A\" within 200 ms.";
    QTest::newRow("no reply to a raw block")
            << QByteArray("raw") << "No reply from the unit to \"SET X offset:0\" within 200 ms.";
    QTest::newRow("no reply to a resent block")
            << QByteArray("resend")
            << "No reply from the unit to \"SET X offset:0\" within 200 ms.";
}

void TestMixerProtocol::timeouts()
{
    QFETCH(QByteArray, stage);
    QFETCH(QString, message);
    FakeDevice fake;
    fake.expect("\r\n");
    if (stage == "lower-case prompt")
        fake.send("enter password:\r\n");
    if (stage != "prompt" && stage != "lower-case prompt")
        fake.send("Enter Password:").expect("pw\r\n");
    if (stage != "prompt" && stage != "lower-case prompt" && stage != "password")
        fake.send("Login Successful\r\n").expect("GET DEVICE/NAME\r\n");
    if (stage == "cut reply")
        fake.send("OK GET DEVICE/NAME:x");
    const bool loggedIn =
            stage == "notify" || stage == "raw" || stage == "resend" || stage == "unusable reply";
    if (loggedIn) {
        fake.send("OK GET DEVICE/NAME:x\r\n")
                .expect("GET DEVICE/VER/SYSTEM\r\n")
                .send("OK GET V\r\n");
        if (stage == "notify")
            fake.expect("SET A\r\n").pause(120).send("NOTIFY B\r\n");
        else
            fake.expect("SET X offset:0 bin:RAW\r\n");
        if (stage == "resend")
            fake.pause(120).send("NG\r\n").expect("SET X offset:0 bin:RAW\r\n");
        if (stage == "unusable reply")
            fake.send("OK DONE\r\n");
    }
    fake.expectClosed();

    Client client(200);
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("pw"));
    if (loggedIn) {
        QTRY_COMPARE(client.texts.size(), 2);
        if (stage == "notify")
            client.protocol.queueSet(QStringLiteral("A"));
        else
            client.protocol.sendRaw("SET X offset:0 bin:RAW\r\n", 14);
    }
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::SocketTimeoutError);
    QCOMPARE(client.errorText(), message);
    // A time-out aborts the connection.
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QCOMPARE(client.protocol.socketState(), QAbstractSocket::UnconnectedState);
    QTest::qWait(250);
    QCOMPARE(client.errors.size(), 1);
}

// The end command's reply may take long (the unit writes its flash); the
// longer wait applies to that one command only.
void TestMixerProtocol::slowReplyAllowedOnce()
{
    FakeDevice fake;
    login(fake);
    fake.expect("SET UPDATE/SYSTEM:END\r\n")
            .pause(400)
            .send("OK SET\r\n")
            .expect("SET A\r\n")
            .expectClosed();
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.m_replyTimeoutMs = 150;
    client.protocol.setNextReplyTimeout(3000);
    client.protocol.queueSet(QStringLiteral("UPDATE/SYSTEM:END"));
    QTRY_COMPARE(client.texts.size(), 3);
    QVERIFY(client.errors.isEmpty());
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorText(),
             QStringLiteral("No reply from the unit to \"SET A\" within 150 ms."));
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

// A connect that stays pending: a unit that does not answer, on loopback.
void TestMixerProtocol::connectTimeout()
{
    PendingPort pending;
    QVERIFY(pending.port() != 0);

    Client client(300);
    client.protocol.connectToDevice(QStringLiteral("127.0.0.1:%1").arg(pending.port()),
                                    QStringLiteral("pw"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::SocketTimeoutError);
    QCOMPARE(client.errorText(), QStringLiteral("No connection to the unit within 300 ms."));
    QCOMPARE(client.protocol.socketState(), QAbstractSocket::UnconnectedState);
}

void TestMixerProtocol::connectionRefused()
{
    quint16 port = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QHostAddress::LocalHost), 0));
        port = server.serverPort();
    }
    Client client;
    client.protocol.connectToDevice(QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("pw"));
    // Reported from the event loop, after the caller has finished starting.
    QCOMPARE(client.errors.size(), 0);
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(client.errorText(), QStringLiteral("Connection refused"));
}

// Without a route the connect fails inside connectToHost; the error still
// reaches the caller only after connectToDevice has returned. Only in a
// namespace without routes, where the attempt never leaves the machine.
void TestMixerProtocol::unreachableReportedLater()
{
    if (!networkIsIsolated())
        QSKIP("needs an isolated network namespace (./test.sh)");
    Client client;
    client.protocol.connectToDevice(QStringLiteral("10.77.0.2:54726"), QStringLiteral("pw"));
    QCOMPARE(client.errors.size(), 0);
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::NetworkError);
    QCOMPARE(client.errorText(), QStringLiteral("Network unreachable"));
}

void TestMixerProtocol::remoteClose()
{
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n").closeConnection();
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    QTRY_COMPARE(client.errors.size(), 1);
    QCOMPARE(client.errorCode(), QAbstractSocket::RemoteHostClosedError);
    QCOMPARE(client.errorText(), QStringLiteral("The remote host closed the connection"));
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

void TestMixerProtocol::closeDeviceStopsWriting()
{
    FakeDevice fake;
    login(fake);
    fake.expectClosed();
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.closeDevice();
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.sendRaw("RAW\r\n");
    QTRY_VERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QTest::qWait(20);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
    QVERIFY(client.errors.isEmpty());
}

// A reply still awaited when the connection is closed is forgotten: the next
// login's queries go out, and the reply count starts again.
void TestMixerProtocol::reconnectForgetsOldConnection()
{
    FakeDevice fake;
    login(fake);
    fake.expect("SET A\r\n").expectClosed();
    login(fake);
    fake.expect("RAW\r\n").send("NG\r\n").expect("RAW\r\n").send("OK SET\r\n");
    Client client;
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 2);
    client.protocol.queueSet(QStringLiteral("A"));
    client.protocol.queueSet(QStringLiteral("never written"));
    QTRY_VERIFY(fake.received().endsWith("SET A\r\n"));
    client.protocol.closeDevice();
    client.protocol.connectToDevice(fake.hostText(), QStringLiteral("s3cret"));
    QTRY_COMPARE(client.texts.size(), 4);
    client.protocol.sendRaw("RAW\r\n");
    QTRY_COMPARE(client.texts.size(), 5);
    QCOMPARE(client.retryList(), QList<int>{ 3 });
    QCOMPARE(fake.connectionCount(), 2);
    QVERIFY2(fake.scriptDone(), qPrintable(fake.report()));
}

QTEST_GUILESS_MAIN(TestMixerProtocol)
#include "tst_mixerprotocol.moc"
