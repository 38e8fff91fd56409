#include "cli/listcommand.h"
#include "cli/textformat.h"
#include "cli/unitdirectory.h"
#include "cli/updatereporter.h"
#include "core/runimage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <ctime>

// The exact texts kvx-update prints: numbers, times, tables, bars, JSON, and
// what becomes of hostile text from the network on the way to a terminal.
class TestCliText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void printable_data();
    void printable();
    void bytes_data();
    void bytes();
    void rate();
    void duration_data();
    void duration();
    void timestamp_data();
    void timestamp();
    void bar_data();
    void bar();
    void table();
    void plainLine();
    void jsonLineIsOneLine();
    void fitWidth();

    void listTable();
    void listStatus_data();
    void listStatus();
    void listJson();
    void listWarnings();
    void unitLine_data();
    void unitLine();
};

void TestCliText::initTestCase()
{
    qputenv("TZ", "UTC");
    tzset();
}

void TestCliText::printable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << "Stage left 2"
                           << "Stage left 2";
    QTest::newRow("non-ASCII letters stay")
            << QString::fromUtf8("Bühne – Saal") << QString::fromUtf8("Bühne – Saal");
    QTest::newRow("escape sequence") << "\x1b[2J\x1b]0;owned\x07"
                                     << "<U+001B>[2J<U+001B>]0;owned<U+0007>";
    QTest::newRow("CR and LF") << "a\rb\nc"
                               << "a<U+000D>b<U+000A>c";
    QTest::newRow("tab and NUL") << QString("x\ty") + QChar(0) << "x<U+0009>y<U+0000>";
    QTest::newRow("DEL and C1 CSI") << QString("a") + QChar(0x7f) + QChar(0x9b) + "31m"
                                    << "a<U+007F><U+009B>31m";
    QTest::newRow("line separators")
            << QString("a") + QChar(0x2028) + "b" + QChar(0x2029) << "a<U+2028>b<U+2029>";
}

void TestCliText::printable()
{
    QFETCH(QString, text);
    QTEST(TextFormat::printable(text), "shown");
}

void TestCliText::bytes_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("text");

    QTest::newRow("unknown") << qint64(-1) << "-";
    QTest::newRow("zero") << qint64(0) << "0 B";
    QTest::newRow("one block") << qint64(512) << "512 B";
    QTest::newRow("just under KiB") << qint64(1023) << "1023 B";
    QTest::newRow("one KiB") << qint64(1024) << "1.0 KiB";
    QTest::newRow("shipped image") << qint64(579616) << "566.0 KiB";
    QTest::newRow("just under MiB") << qint64(1048575) << "1024.0 KiB";
    QTest::newRow("MiB") << qint64(12897485) << "12.3 MiB";
    QTest::newRow("GiB") << qint64(3) * 1024 * 1024 * 1024 << "3.0 GiB";
}

void TestCliText::bytes()
{
    QFETCH(qint64, count);
    QTEST(TextFormat::bytes(count), "text");
}

void TestCliText::rate()
{
    QCOMPARE(TextFormat::rate(-1), QStringLiteral("-"));
    QCOMPARE(TextFormat::rate(0), QStringLiteral("0 B/s"));
    QCOMPARE(TextFormat::rate(123456.7), QStringLiteral("120.6 KiB/s"));
    QCOMPARE(TextFormat::rate(2.5 * 1024 * 1024), QStringLiteral("2.5 MiB/s"));
}

void TestCliText::duration_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("unknown") << qint64(-1) << "-";
    QTest::newRow("zero") << qint64(0) << "0.0 s";
    QTest::newRow("rounds down") << qint64(449) << "0.4 s";
    QTest::newRow("rounds up") << qint64(450) << "0.5 s";
    QTest::newRow("seconds") << qint64(12345) << "12.3 s";
    QTest::newRow("just under a minute") << qint64(59949) << "59.9 s";
    QTest::newRow("rounds to a minute") << qint64(59950) << "1 min 00 s";
    QTest::newRow("minute and seconds") << qint64(65200) << "1 min 05 s";
    QTest::newRow("an hour and more") << qint64(3720000) << "62 min 00 s";
}

void TestCliText::duration()
{
    QFETCH(qint64, ms);
    QTEST(TextFormat::duration(ms), "text");
}

void TestCliText::timestamp_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");

    QTest::newRow("UTC") << QByteArray("UTC") << "2024-05-01T12:03:07.250Z";
    // Zone names of three letters: the form both the C library of Linux and
    // Windows' read.
    QTest::newRow("two hours east") << QByteArray("KVX-2") << "2024-05-01T14:03:07.250+02:00";
    QTest::newRow("five hours west") << QByteArray("KVX5") << "2024-05-01T07:03:07.250-05:00";
}

void TestCliText::timestamp()
{
    QFETCH(QByteArray, zone);
    qputenv("TZ", zone);
    tzset();
    const QDateTime time(QDate(2024, 5, 1), QTime(12, 3, 7, 250), Qt::UTC);
    const QString text = TextFormat::timestamp(time);
    qputenv("TZ", "UTC");
    tzset();
    QTEST(text, "text");
}

void TestCliText::bar_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << "[----------]";
    QTest::newRow("9") << 9 << "[----------]";
    QTest::newRow("37") << 37 << "[###-------]";
    QTest::newRow("99") << 99 << "[#########-]";
    QTest::newRow("100") << 100 << "[##########]";
    QTest::newRow("below 0") << -5 << "[----------]";
    QTest::newRow("above 100") << 150 << "[##########]";
}

void TestCliText::bar()
{
    QFETCH(int, percent);
    QTEST(TextFormat::bar(percent, 10), "text");
}

void TestCliText::table()
{
    const QString text = TextFormat::table({ "ADDRESS", "MODEL", "NICKNAME" },
                                           { { "10.77.0.10", "ZP-9E", "FOH rack" },
                                             { "10.77.0.9", "VK-3F", "" },
                                             { "10.0.0.1", "X\x1b[1m", "a\nb" } });
    // Widths count the cells as shown, escapes included.
    QCOMPARE(text,
             QStringLiteral("ADDRESS     MODEL         NICKNAME\n"
                            "10.77.0.10  ZP-9E         FOH rack\n"
                            "10.77.0.9   VK-3F\n"
                            "10.0.0.1    X<U+001B>[1m  a<U+000A>b\n"));
    QCOMPARE(TextFormat::table({ "A", "B" }, {}), QStringLiteral("A  B\n"));
}

void TestCliText::plainLine()
{
    const QDateTime time(QDate(2024, 5, 1), QTime(12, 3, 7, 5), Qt::UTC);
    QCOMPARE(TextFormat::plainLine(time, "10.77.0.10", "Sending... 37%"),
             QStringLiteral("2024-05-01T12:03:07.005Z 10.77.0.10 Sending... 37%"));
    // An error text with a line break stays one line.
    QCOMPARE(TextFormat::plainLine(time, "10.77.0.10", "ERROR: a\r\nb"),
             QStringLiteral("2024-05-01T12:03:07.005Z 10.77.0.10 ERROR: a<U+000D><U+000A>b"));
}

void TestCliText::jsonLineIsOneLine()
{
    const QByteArray line =
            TextFormat::jsonLine({ { "event", "found" }, { "nickname", "a\nb\x1b" }, { "n", 3 } });
    QCOMPARE(line, QByteArray("{\"event\":\"found\",\"n\":3,\"nickname\":\"a\\nb\\u001b\"}\n"));
    QCOMPARE(line.count('\n'), 1);
}

void TestCliText::fitWidth()
{
    QCOMPARE(TextFormat::fitWidth("abcdef", 4), QStringLiteral("abcd"));
    QCOMPARE(TextFormat::fitWidth("abcd", 4), QStringLiteral("abcd"));
    QCOMPARE(TextFormat::fitWidth("abc", 0), QStringLiteral("abc"));
}

static RunImage shippedImage()
{
    return RunImage::fromImage(QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12));
}

void TestCliText::listTable()
{
    const QList<UnitInfo> units{ { "10.77.0.9", "ZP-9E", "Stage \x1b[31mleft", "1.02" },
                                 { "10.77.0.10", "VK-3F", "", "1.04" } };
    QCOMPARE(QString::fromUtf8(ListCommand::render(units, false, shippedImage())),
             QStringLiteral("ADDRESS     MODEL  NICKNAME                VERSION  STATUS\n"
                            "10.77.0.9   ZP-9E  Stage <U+001B>[31mleft  1.02     other-model\n"
                            "10.77.0.10  VK-3F                          1.04     current\n"));
    QCOMPARE(ListCommand::render({}, false, shippedImage()), QByteArray());
}

void TestCliText::listStatus_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("status");

    QTest::newRow("current") << "VK-3F"
                             << "1.04"
                             << ""
                             << "current";
    QTest::newRow("older build") << "VK-3F"
                                 << "1.04"
                                 << "(build0100)"
                                 << "older";
    QTest::newRow("older") << "VK-3F"
                           << "1.02"
                           << ""
                           << "older";
    QTest::newRow("newer") << "VK-3F"
                           << "1.10"
                           << ""
                           << "newer";
    QTest::newRow("no version") << "VK-3F"
                                << ""
                                << ""
                                << "unknown";
    QTest::newRow("other model") << "RT-6C"
                                 << "1.02"
                                 << ""
                                 << "other-model";
}

void TestCliText::listStatus()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, build);
    UnitInfo unit{ "10.77.0.9", model, "Desk", version };
    unit.build = build;
    QTEST(ListCommand::status(unit, shippedImage()), "status");
    const QJsonDocument doc =
            QJsonDocument::fromJson(ListCommand::render({ unit }, true, shippedImage()));
    QTEST(doc.array().at(0).toObject().value("status").toString(), "status");
}

void TestCliText::listJson()
{
    const QList<UnitInfo> units{ { "10.77.0.9", "ZP-9E", "Stage \"left\"", "1.02" } };
    const QJsonDocument doc =
            QJsonDocument::fromJson(ListCommand::render(units, true, shippedImage()));
    QVERIFY(doc.isArray());
    QCOMPARE(doc.array().size(), 1);
    const QJsonObject unit = doc.array().at(0).toObject();
    QCOMPARE(unit.keys(),
             (QStringList{ "address", "model", "nickname", "status", "version", "warnings" }));
    QCOMPARE(unit.value("warnings").toArray(), QJsonArray());
    QCOMPARE(unit.value("address").toString(), QStringLiteral("10.77.0.9"));
    QCOMPARE(unit.value("nickname").toString(), QStringLiteral("Stage \"left\""));
    QCOMPARE(unit.value("status").toString(), QStringLiteral("other-model"));
    QCOMPARE(ListCommand::render({}, true, shippedImage()), QByteArray("[]\n"));
}

// Identity warnings: after the table for a person, escaped; in the unit's
// "warnings" array for a program, exact.
void TestCliText::listWarnings()
{
    const QList<UnitInfo> units{ { "10.77.0.9", "VK-3F", "A", "1.04" },
                                 { "10.77.0.10", "VK-3F", "B", "1.04" } };
    const QString same = QString::fromUtf8("10.77.0.10 announces the same UUID u\u202E1");
    const QString moved = QStringLiteral("UUID u was announced by 10.77.0.5 earlier in this run");
    const QHash<QString, QStringList> warnings{ { "10.77.0.9", { same, moved } } };
    QCOMPARE(QString::fromUtf8(ListCommand::render(units, false, shippedImage(), warnings)),
             QStringLiteral("ADDRESS     MODEL  NICKNAME  VERSION  STATUS\n"
                            "10.77.0.9   VK-3F  A         1.04     current\n"
                            "10.77.0.10  VK-3F  B         1.04     current\n"
                            "warning: 10.77.0.9: 10.77.0.10 announces the same UUID u<U+202E>1\n"
                            "warning: 10.77.0.9: UUID u was announced by 10.77.0.5 earlier in "
                            "this run\n"));
    const QJsonArray array =
            QJsonDocument::fromJson(ListCommand::render(units, true, shippedImage(), warnings))
                    .array();
    QCOMPARE(array.size(), 2);
    QCOMPARE(array.at(0).toObject().value("warnings").toArray(),
             QJsonArray::fromStringList({ same, moved }));
    QCOMPARE(array.at(1).toObject().value("warnings").toArray(), QJsonArray());
}

void TestCliText::unitLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("percent");
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<double>("rate");
    QTest::addColumn<QString>("line");

    QTest::newRow("connecting") << "connecting..." << -1 << qint64(-1) << -1.0
                                << "10.77.0.10      connecting...";
    QTest::newRow("starting") << "Starting..." << -1 << qint64(0) << -1.0
                              << "10.77.0.10      Starting...";
    QTest::newRow("sending, rate not known yet")
            << "Sending... 0%" << 0 << qint64(512) << -1.0
            << "10.77.0.10      [--------------------]   0%  512 B / 566.0 KiB  -";
    QTest::newRow("sending")
            << "Sending... 37%" << 37 << qint64(214528) << 123456.0
            << "10.77.0.10      [#######-------------]  37%  209.5 KiB / 566.0 KiB  120.6 KiB/s";
    QTest::newRow("retry keeps its text") << "Retry: 2 37%" << 37 << qint64(214528) << 0.0
                                          << "10.77.0.10      [#######-------------]  37%  209.5 "
                                             "KiB / 566.0 KiB  0 B/s  Retry: 2 37%";
    QTest::newRow("writing")
            << "Writing" << 99 << qint64(579616) << 0.0
            << "10.77.0.10      [###################-]  99%  566.0 KiB / 566.0 KiB  0 B/s  Writing";
}

void TestCliText::unitLine()
{
    QFETCH(QString, text);
    QFETCH(int, percent);
    QFETCH(qint64, sent);
    QFETCH(double, rate);
    QTEST(UpdateReporter::unitLine(QStringLiteral("10.77.0.10"), text, percent, sent, 579616, rate),
          "line");
}

QTEST_GUILESS_MAIN(TestCliText)
#include "tst_clitext.moc"
