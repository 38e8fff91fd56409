#include "cli/unitdirectory.h"
#include "cli/updatereporter.h"
#include "cli/updatescheduler.h"
#include "common/schedulertest.h"
#include "core/runimage.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <ctime>

namespace {

// Plays what a terminal does with the live display's output: "\n", "\r",
// cursor up (ESC [ n A) and clear to the end of the screen (ESC [ J). Any other
// escape sequence is a fault.
class Screen
{
public:
    bool feed(const QString &text)
    {
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('\n')) {
                ++m_row;
                m_col = 0;
            } else if (c == QLatin1Char('\r')) {
                m_col = 0;
            } else if (c == QChar(0x1b)) {
                if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('['))
                    return false;
                int j = i + 2;
                int n = 0;
                bool digits = false;
                while (j < text.size() && text.at(j).isDigit()) {
                    n = n * 10 + text.at(j).digitValue();
                    digits = true;
                    ++j;
                }
                if (j >= text.size())
                    return false;
                if (text.at(j) == QLatin1Char('A') && digits) {
                    m_row = qMax(0, m_row - n);
                } else if (text.at(j) == QLatin1Char('J') && !digits) {
                    ensureRow();
                    m_lines[m_row].truncate(m_col);
                    while (m_lines.size() > m_row + 1)
                        m_lines.removeLast();
                } else {
                    return false;
                }
                i = j;
            } else {
                ensureRow();
                QString &line = m_lines[m_row];
                if (line.size() < m_col)
                    line += QString(m_col - line.size(), QLatin1Char(' '));
                line.replace(m_col, 1, c);
                ++m_col;
            }
        }
        return true;
    }

    // The lines above the cursor (the cursor sits at the start of an empty line).
    QStringList lines() const { return m_lines.mid(0, m_row); }

private:
    void ensureRow()
    {
        while (m_lines.size() <= m_row)
            m_lines << QString();
    }

    QStringList m_lines;
    int m_row = 0;
    int m_col = 0;
};

const QString kA = QStringLiteral("10.77.0.10");
const QString kB = QStringLiteral("10.77.0.11");
const QString kMissing = QStringLiteral("10.77.0.99");

} // namespace

// What the reporter prints for a run of two units (one succeeds, one fails)
// and one named unit that was not found, in each of its three forms.
class TestUpdateReporter : public SchedulerTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modeFor_data();
    void modeFor();
    void plainLines();
    void jsonEvents();
    void jsonBytesComeFromTheProbe();
    void terminalLiveDisplay();
    void terminalLinesFitTheWidth();
    void terminalRateOnlyWhileSending();
    void summaryOfNothing();
    void skipsAndVerificationPlain();
    void skipsAndVerificationJson();
    void restartingUnitsOnTheStatusLine();

private:
    // A skips B; A completes and comes back as `result` with `message`.
    void playVerifiedRun(UpdateScheduler::Result result, const QString &message);
    void setUp(UpdateReporter::Mode mode, int parallel);
    void playRun();
    QString output() const { return QString::fromUtf8(m_buffer->data()); }

    UpdateReporter *m_reporter = nullptr;
    QBuffer *m_buffer = nullptr;
    RunImage m_image;
};

void TestUpdateReporter::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
    m_image =
            RunImage::fromImage(QByteArray("VK-3F\0\0\0\x68\0\x77\0", 12) + QByteArray(1012, 'x'));
}

void TestUpdateReporter::init()
{
    setUpScheduler();
    m_buffer = new QBuffer;
    m_buffer->open(QIODevice::WriteOnly);
}

void TestUpdateReporter::cleanup()
{
    delete m_reporter;
    m_reporter = nullptr;
    tearDownScheduler();
    delete m_buffer;
}

void TestUpdateReporter::setUp(UpdateReporter::Mode mode, int parallel)
{
    m_reporter = new UpdateReporter(mode, m_buffer);
    m_reporter->setClock(
            [] { return QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0, 125), Qt::UTC); });
    m_reporter->setImageSize(m_image.size);
    m_reporter->attach(m_scheduler, m_directory);
    m_scheduler->setParallel(parallel);
    m_core->addUnit(kA, QStringLiteral("FOH"), QStringLiteral("ZP-9E"), QStringLiteral("1.02"));
    m_core->addUnit(kB, QStringLiteral("Stage\x1b[2J"), QStringLiteral("VK-3F"),
                    QStringLiteral("1.03"));
}

void TestUpdateReporter::playRun()
{
    m_reporter->image(m_image);
    m_reporter->searching(5);
    m_reporter->found(m_directory->lastKnown(kA));
    m_reporter->found(m_directory->lastKnown(kB));
    m_reporter->searchEnded(2);
    m_scheduler->start({ kA, kB, kMissing });
    QTRY_COMPARE(m_core->callCount(), 1);
    for (const char *text : { "Starting...", "Sending... 0%", "Sending... 50%", "Writing",
                              "Firmware update completed." })
        m_core->progress(QLatin1String(text), kA);
    QTRY_COMPARE(m_core->callCount(), 2);
    m_core->progress(QStringLiteral("ERROR: The unit rejected the password."), kB);
    QTRY_VERIFY(m_scheduler->isFinished());
    m_reporter->summary(1);
}

void TestUpdateReporter::modeFor_data()
{
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("mode");

    QTest::newRow("pipe") << false << int(ConsoleOutput::Stream) << int(UpdateReporter::Plain);
    QTest::newRow("terminal") << false << int(ConsoleOutput::Terminal)
                              << int(UpdateReporter::Terminal);
    // A console that would print the escape sequences as text.
    QTest::newRow("old console") << false << int(ConsoleOutput::PlainConsole)
                                 << int(UpdateReporter::Plain);
    QTest::newRow("json on a terminal")
            << true << int(ConsoleOutput::Terminal) << int(UpdateReporter::Json);
    QTest::newRow("json into a pipe")
            << true << int(ConsoleOutput::Stream) << int(UpdateReporter::Json);
}

void TestUpdateReporter::modeFor()
{
    QFETCH(bool, json);
    QFETCH(int, output);
    QTEST(int(UpdateReporter::modeFor(json, ConsoleOutput::Kind(output))), "mode");
}

void TestUpdateReporter::plainLines()
{
    setUp(UpdateReporter::Plain, 1);
    playRun();
    const QStringList lines = output().split(QLatin1Char('\n'));
    const QString t = QStringLiteral("2024-05-01T12:00:00.125Z ");
    const QStringList expected{
        t + "- image " + m_image.summary(),
        t + "- searching for units (5 s)",
        t + "10.77.0.10 found ZP-9E \"FOH\" version 1.02",
        t + "10.77.0.11 found VK-3F \"Stage<U+001B>[2J\" version 1.03",
        t + "- 2 units found",
        t + "10.77.0.99 not found: the unit did not answer the search",
        t + "10.77.0.10 connecting...",
        t + "10.77.0.11 Waiting",
        t + "10.77.0.10 Starting...",
        t + "10.77.0.10 Sending... 0%",
        t + "10.77.0.10 Sending... 50%",
        t + "10.77.0.10 Writing",
        t + "10.77.0.10 Firmware update completed.",
        t + "10.77.0.10 succeeded in #",
        t + "10.77.0.11 connecting...",
        t + "10.77.0.11 ERROR: The unit rejected the password.",
        t + "10.77.0.11 failed after #: ERROR: The unit rejected the password.",
        "",
        "Summary: 1 succeeded, 1 failed, 0 lost, 1 not found, 0 not started",
        "ADDRESS     MODEL  NICKNAME          VERSION  RESULT     DURATION  MESSAGE",
        "10.77.0.10  ZP-9E  FOH               1.02     succeeded  #  Firmware update completed.",
        "10.77.0.11  VK-3F  Stage<U+001B>[2J  1.03     failed     #  ERROR: The unit rejected the "
        "password.",
        "10.77.0.99                                    not found  -         the unit did not "
        "answer the search",
        ""
    };
    QCOMPARE(lines.size(), expected.size());
    // Durations depend on the machine: "#" stands for one.
    const QRegularExpression duration(QStringLiteral("\\d+\\.\\d s *"));
    for (int i = 0; i < expected.size(); ++i) {
        QString line = lines.at(i);
        line.replace(duration, QStringLiteral("#"));
        QString want = expected.at(i);
        want.replace(QRegularExpression(QStringLiteral("#  ")), QStringLiteral("#"));
        QCOMPARE(line, want);
    }
}

void TestUpdateReporter::jsonEvents()
{
    setUp(UpdateReporter::Json, 1);
    playRun();
    const QList<QByteArray> lines = m_buffer->data().split('\n');
    QCOMPARE(lines.last(), QByteArray());
    QStringList events;
    QList<QJsonObject> objects;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(lines.at(i), &error);
        QVERIFY2(doc.isObject(), lines.at(i).constData());
        const QJsonObject object = doc.object();
        QCOMPARE(object.value("time").toString(), QStringLiteral("2024-05-01T12:00:00.125Z"));
        events << object.value("event").toString() + QLatin1Char(' ')
                        + object.value("address").toString();
        objects << object;
    }
    QCOMPARE(events,
             (QStringList{ "image ",
                           "search ",
                           "found 10.77.0.10",
                           "found 10.77.0.11",
                           "searchEnded ",
                           "result 10.77.0.99",
                           "started 10.77.0.10",
                           "progress 10.77.0.10",
                           "waiting 10.77.0.11",
                           "progress 10.77.0.10",
                           "progress 10.77.0.10",
                           "progress 10.77.0.10",
                           "progress 10.77.0.10",
                           "progress 10.77.0.10",
                           "result 10.77.0.10",
                           "started 10.77.0.11",
                           "progress 10.77.0.11",
                           "progress 10.77.0.11",
                           "result 10.77.0.11",
                           "summary " }));

    QCOMPARE(objects.at(0).value("sha256").toString(), m_image.sha256);
    QCOMPARE(objects.at(0).value("size").toInt(), 1024);
    QCOMPARE(objects.at(3).value("nickname").toString(),
             QStringLiteral("Stage\x1b[2J")); // JSON escapes it
    QCOMPARE(objects.at(4).value("found").toInt(), 2);
    QCOMPARE(objects.at(5).value("result").toString(), QStringLiteral("not found"));
    QVERIFY(objects.at(5).value("seconds").isNull());

    // "connecting..." carries no percentage and no byte count.
    QCOMPARE(objects.at(7).value("text").toString(), QStringLiteral("connecting..."));
    QVERIFY(!objects.at(7).contains("percent"));
    QVERIFY(!objects.at(7).contains("bytes"));
    // "Sending... 50%" of 1024 bytes: 512 by estimate.
    QCOMPARE(objects.at(11).value("text").toString(), QStringLiteral("Sending... 50%"));
    QCOMPARE(objects.at(11).value("percent").toInt(), 50);
    QCOMPARE(objects.at(11).value("bytes").toInt(), 512);
    QCOMPARE(objects.at(12).value("text").toString(), QStringLiteral("Writing"));
    QCOMPARE(objects.at(12).value("bytes").toInt(), 1024);

    const QJsonObject ok = objects.at(14);
    QCOMPARE(ok.value("result").toString(), QStringLiteral("succeeded"));
    QCOMPARE(ok.value("message").toString(), QStringLiteral("Firmware update completed."));
    QCOMPARE(ok.value("model").toString(), QStringLiteral("ZP-9E"));
    QCOMPARE(ok.value("nickname").toString(), QStringLiteral("FOH"));
    QCOMPARE(ok.value("version").toString(), QStringLiteral("1.02"));
    QVERIFY(ok.value("seconds").isDouble());

    const QJsonObject summary = objects.last();
    QCOMPARE(summary.value("exitStatus").toInt(), 1);
    QCOMPARE(summary.value("succeeded").toInt(), 1);
    QCOMPARE(summary.value("failed").toInt(), 1);
    QCOMPARE(summary.value("lost").toInt(), 0);
    QCOMPARE(summary.value("notFound").toInt(), 1);
    QCOMPARE(summary.value("notStarted").toInt(), 0);
    const QJsonArray units = summary.value("units").toArray();
    QCOMPARE(units.size(), 3);
    QCOMPARE(units.at(0).toObject().value("address").toString(), kA);
    QCOMPARE(units.at(1).toObject().value("result").toString(), QStringLiteral("failed"));
    QCOMPARE(units.at(1).toObject().value("message").toString(),
             QStringLiteral("ERROR: The unit rejected the password."));
    QCOMPARE(units.at(2).toObject().value("result").toString(), QStringLiteral("not found"));
}

void TestUpdateReporter::jsonBytesComeFromTheProbe()
{
    setUp(UpdateReporter::Json, 1);
    QStringList asked;
    m_reporter->setSentBytesProbe([&asked](const QString &address) -> qint64 {
        asked << address;
        return 777;
    });
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    m_buffer->buffer().clear();
    m_buffer->seek(0);
    m_core->progress(QStringLiteral("Sending... 50%"), kA);
    const QJsonObject event = QJsonDocument::fromJson(m_buffer->data().trimmed()).object();
    QCOMPARE(event.value("bytes").toInt(), 777);
    QCOMPARE(asked, QStringList{ kA });
}

void TestUpdateReporter::terminalLiveDisplay()
{
    setUp(UpdateReporter::Terminal, 2);
    m_reporter->setTerminalWidth(120);
    m_scheduler->start({ kA, kB });
    QTRY_COMPARE(m_core->callCount(), 2);
    m_reporter->redraw();

    Screen screen;
    QVERIFY(screen.feed(output()));
    QCOMPARE(screen.lines(),
             (QStringList{ "10.77.0.10      connecting...", "10.77.0.11      connecting...",
                           "2 running, 0 waiting, 0 of 2 done" }));

    m_core->progress(QStringLiteral("Starting..."), kA);
    m_core->progress(QStringLiteral("Sending... 50%"), kA);
    m_core->progress(QStringLiteral("Retry: 1 50%"), kB);
    m_reporter->redraw();
    screen = Screen();
    QVERIFY(screen.feed(output()));
    QCOMPARE(
            screen.lines(),
            (QStringList{
                    "10.77.0.10      [##########----------]  50%  512 B / 1.0 KiB  -",
                    "10.77.0.11      [##########----------]  50%  512 B / 1.0 KiB  -  Retry: 1 50%",
                    "2 running, 0 waiting, 0 of 2 done" }));

    // A unit that ends leaves a line above the display, which shrinks by one.
    m_core->progress(QStringLiteral("Firmware update completed."), kA);
    screen = Screen();
    QVERIFY(screen.feed(output()));
    QStringList lines = screen.lines();
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith("10.77.0.10      succeeded in "), qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1),
             QStringLiteral("10.77.0.11      [##########----------]  50%  512 B / 1.0 KiB  -  "
                            "Retry: 1 50%"));
    QCOMPARE(lines.at(2), QStringLiteral("1 running, 0 waiting, 1 of 2 done"));

    m_core->progress(QStringLiteral("ERROR: Socket operation timed out"), kB);
    QTRY_VERIFY(m_scheduler->isFinished());
    m_reporter->summary(1);
    screen = Screen();
    QVERIFY(screen.feed(output()));
    lines = screen.lines();
    // The display is gone; the two result lines and the summary stay.
    QVERIFY2(lines.at(1).startsWith("10.77.0.11      failed after "), qPrintable(lines.at(1)));
    QVERIFY(lines.at(1).endsWith(": ERROR: Socket operation timed out"));
    QCOMPARE(lines.at(2), QString());
    QCOMPARE(lines.at(3),
             QStringLiteral("Summary: 1 succeeded, 1 failed, 0 lost, 0 not found, 0 not started"));
    QVERIFY(lines.at(4).startsWith("ADDRESS"));
    QCOMPARE(lines.size(), 7);
    // Nothing of the display is left behind the summary.
    const QString out = output();
    QVERIFY(!out.mid(out.indexOf("Summary:")).contains(QChar(0x1b)));
}

void TestUpdateReporter::terminalLinesFitTheWidth()
{
    setUp(UpdateReporter::Terminal, 1);
    m_reporter->setTerminalWidth(30);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->progress(QStringLiteral("Sending... 50%"), kA);
    m_reporter->redraw();
    Screen screen;
    QVERIFY(screen.feed(output()));
    // One column is left free: a line as wide as the terminal makes some
    // terminals wrap, and the display would lose count of its lines.
    QCOMPARE(screen.lines(),
             (QStringList{ "10.77.0.10      [##########--", "1 running, 0 waiting, 0 of 1 " }));
}

void TestUpdateReporter::terminalRateOnlyWhileSending()
{
    setUp(UpdateReporter::Terminal, 1);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->progress(QStringLiteral("Sending... 10%"), kA);
    QVERIFY(m_reporter->liveLines().first().endsWith(
            QStringLiteral("/ 1.0 KiB  -"))); // too early to tell
    QTest::qWait(600);
    m_core->progress(QStringLiteral("Sending... 60%"), kA);
    const QString sending = m_reporter->liveLines().first();
    QVERIFY2(QRegularExpression(QStringLiteral("  614 B / 1\\.0 KiB  \\d+ B/s$"))
                     .match(sending)
                     .hasMatch(),
             qPrintable(sending));
    // The unit writes its flash: nothing is sent, so no rate.
    m_core->progress(QStringLiteral("Writing"), kA);
    QCOMPARE(m_reporter->liveLines().first(),
             QStringLiteral(
                     "10.77.0.10      [############--------]  60%  1.0 KiB / 1.0 KiB  -  Writing"));
}

void TestUpdateReporter::summaryOfNothing()
{
    setUp(UpdateReporter::Plain, 1);
    m_scheduler->start({});
    QTRY_VERIFY(m_scheduler->isFinished());
    m_reporter->summary(2);
    QCOMPARE(output(), QStringLiteral("\nSummary: no units found, nothing updated\n"));
}

void TestUpdateReporter::playVerifiedRun(UpdateScheduler::Result result, const QString &message)
{
    m_scheduler->setAwaitProof(true);
    m_scheduler->start(
            { kA, kB },
            { { kB, QStringLiteral("already runs 1.04 (--reinstall writes it again)") } });
    QTRY_COMPARE(m_core->callCount(), 1);
    for (const char *text : { "Starting...", "Writing", "Firmware update completed." })
        m_core->progress(QLatin1String(text), kA);
    QTRY_VERIFY(m_scheduler->isFinished());
    m_scheduler->setVerified(kA, result, message);
}

void TestUpdateReporter::skipsAndVerificationPlain()
{
    setUp(UpdateReporter::Plain, 1);
    playVerifiedRun(UpdateScheduler::NotVerified, QStringLiteral("did not come back within 120 s"));
    m_reporter->summary(1);
    QStringList lines = output().split(QLatin1Char('\n'));
    const QRegularExpression duration(QStringLiteral("\\d+\\.\\d s *"));
    for (QString &line : lines)
        line.replace(duration, QStringLiteral("#"));
    const QString t = QStringLiteral("2024-05-01T12:00:00.125Z ");
    QCOMPARE(
            lines,
            (QStringList{
                    t + "10.77.0.11 skipped: already runs 1.04 (--reinstall writes it again)",
                    t + "10.77.0.10 connecting...", t + "10.77.0.10 Starting...",
                    t + "10.77.0.10 Writing", t + "10.77.0.10 Firmware update completed.",
                    t + "10.77.0.10 succeeded in #",
                    t + "10.77.0.10 not verified: did not come back within 120 s", "",
                    "Summary: 0 succeeded, 0 failed, 0 lost, 0 not found, 0 not started, 1 not "
                    "verified, 1 skipped",
                    "ADDRESS     MODEL  NICKNAME          VERSION  RESULT        DURATION  MESSAGE",
                    "10.77.0.10  ZP-9E  FOH               1.02     not verified  #did not come "
                    "back within 120 s",
                    "10.77.0.11  VK-3F  Stage<U+001B>[2J  1.03     skipped       -         "
                    "already runs "
                    "1.04 (--reinstall writes it again)",
                    "" }));
}

void TestUpdateReporter::skipsAndVerificationJson()
{
    setUp(UpdateReporter::Json, 1);
    playVerifiedRun(UpdateScheduler::Succeeded, QStringLiteral("verified 1.04 (build0119)"));
    m_reporter->summary(0);
    QList<QJsonObject> objects;
    for (const QByteArray &line : m_buffer->data().split('\n')) {
        if (!line.isEmpty())
            objects << QJsonDocument::fromJson(line).object();
    }
    QStringList events;
    for (const QJsonObject &o : objects)
        events << o.value("event").toString() + QLatin1Char(' ') + o.value("address").toString();
    QCOMPARE(events,
             (QStringList{ "result 10.77.0.11", "started 10.77.0.10", "progress 10.77.0.10",
                           "progress 10.77.0.10", "progress 10.77.0.10", "progress 10.77.0.10",
                           "result 10.77.0.10", "verified 10.77.0.10", "summary " }));
    QCOMPARE(objects.at(0).value("result").toString(), QStringLiteral("skipped"));
    QCOMPARE(objects.at(0).value("message").toString(),
             QStringLiteral("already runs 1.04 (--reinstall writes it again)"));
    QCOMPARE(objects.at(6).value("message").toString(),
             QStringLiteral("Firmware update completed."));
    QCOMPARE(objects.at(7).value("result").toString(), QStringLiteral("succeeded"));
    QCOMPARE(objects.at(7).value("message").toString(),
             QStringLiteral("verified 1.04 (build0119)"));
    const QJsonObject summary = objects.last();
    QCOMPARE(summary.value("succeeded").toInt(), 1);
    QCOMPARE(summary.value("skipped").toInt(), 1);
    QCOMPARE(summary.value("notVerified").toInt(), 0);
    QCOMPARE(summary.value("units").toArray().at(0).toObject().value("message").toString(),
             QStringLiteral("verified 1.04 (build0119)"));
}

void TestUpdateReporter::restartingUnitsOnTheStatusLine()
{
    setUp(UpdateReporter::Terminal, 1);
    m_scheduler->setAwaitProof(true);
    m_scheduler->start({ kA });
    QTRY_COMPARE(m_core->callCount(), 1);
    m_core->progress(QStringLiteral("Firmware update completed."), kA);
    QTRY_VERIFY(m_scheduler->isFinished());
    QCOMPARE(m_reporter->liveLines(),
             QStringList{ "0 running, 0 waiting, 1 of 1 done, 1 restarting" });
    m_scheduler->setVerified(kA, UpdateScheduler::Failed,
                             QStringLiteral("still reports 1.02 after the update"));
    QCOMPARE(m_reporter->liveLines(), QStringList());
    QVERIFY(output().contains("10.77.0.10      failed: still reports 1.02 after the update\n"));
}

QTEST_GUILESS_MAIN(TestUpdateReporter)
#include "tst_updatereporter.moc"
