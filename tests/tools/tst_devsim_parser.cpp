// The simulator's own reading of client bytes, driven without sockets.
#include "commandcheck.h"
#include "commandreader.h"
#include "simconfig.h"
#include "ssdptext.h"
#include "unitserver.h"

#include <QTest>

class TestDevsimParser : public QObject
{
    Q_OBJECT

private slots:
    void framesSurviveAnySegmentation_data();
    void framesSurviveAnySegmentation();
    void dataPayloadIsFramedByLength();
    void incompleteDataWaits();
    void missingTrailerLeavesNextCommandReadable();
    void linesBeforeLoginAreNeverData();
    void judge_data();
    void judge();
    void searchIsNinetySevenBytes();
    void unitResponseCarriesDescription();
    void config_data();
    void config();
    void restartSettings_data();
    void restartSettings();
    void headerVersionAndBuild_data();
    void headerVersionAndBuild();
    void behaviours();
};

namespace {

QByteArray payloadWithLineEnds(int n)
{
    // A block full of what a line reader trips over, a whole command included.
    QByteArray p;
    const QByteArray pattern("\r\n\0SET UPDATE/SYSTEM:END\r\nNG\r\n", 31);
    while (p.size() < n)
        p += pattern;
    return p.left(n);
}

QList<DeviceFrame> readAll(CommandReader &reader)
{
    QList<DeviceFrame> frames;
    DeviceFrame frame;
    while (reader.next(&frame))
        frames << frame;
    return frames;
}

} // namespace

void TestDevsimParser::framesSurviveAnySegmentation_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("byte by byte") << 1;
    QTest::newRow("2 bytes (CR and LF apart)") << 2;
    QTest::newRow("7 bytes") << 7;
    QTest::newRow("511 bytes") << 511;
    QTest::newRow("all at once") << 100000;
}

void TestDevsimParser::framesSurviveAnySegmentation()
{
    QFETCH(int, chunk);
    const QByteArray payload = payloadWithLineEnds(512);
    const QByteArray stream = "GET DEVICE/NAME\r\nSET UPDATE/SYSTEM:STA SIZE:220\r\n"
                              "SET UPDATE/SYSTEM:BIN SIZE:200 offset:0 bin:"
            + payload
            + "\r\n"
              "SET UPDATE/SYSTEM:BIN SIZE:20 offset:200 bin:"
            + payload.left(32)
            + "\r\n"
              "SET UPDATE/SYSTEM:END\r\n";
    CommandReader reader;
    reader.setMode(CommandReader::Commands);
    QList<DeviceFrame> frames;
    for (int i = 0; i < stream.size(); i += chunk) {
        reader.append(stream.mid(i, chunk));
        frames += readAll(reader);
    }
    QCOMPARE(reader.buffered(), 0);
    QCOMPARE(frames.size(), 5);
    QCOMPARE(frames[0].kind, DeviceFrame::Line);
    QCOMPARE(frames[0].text, QByteArray("GET DEVICE/NAME"));
    QCOMPARE(frames[1].text, QByteArray("SET UPDATE/SYSTEM:STA SIZE:220"));
    QCOMPARE(frames[2].kind, DeviceFrame::Data);
    QCOMPARE(frames[2].payload, payload);
    QCOMPARE(frames[2].offset, 0u);
    QCOMPARE(frames[3].kind, DeviceFrame::Data);
    QCOMPARE(frames[3].size, 0x20u);
    QCOMPARE(frames[3].offset, 0x200u);
    QCOMPARE(frames[3].payload, payload.left(32));
    QCOMPARE(frames[4].text, QByteArray("SET UPDATE/SYSTEM:END"));
    for (const DeviceFrame &f : frames)
        QVERIFY2(f.violations.isEmpty(), qPrintable(f.violations.join('\n')));
}

void TestDevsimParser::dataPayloadIsFramedByLength()
{
    CommandReader reader;
    reader.setMode(CommandReader::Commands);
    const QByteArray payload("\n\n\r\r\0\0", 6);
    reader.append("SET UPDATE/SYSTEM:BIN SIZE:6 offset:0 bin:" + payload
                  + "\r\nGET DEVICE/NAME\r\n");
    const QList<DeviceFrame> frames = readAll(reader);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].payload, payload);
    QCOMPARE(frames[1].text, QByteArray("GET DEVICE/NAME"));
}

void TestDevsimParser::incompleteDataWaits()
{
    CommandReader reader;
    reader.setMode(CommandReader::Commands);
    DeviceFrame frame;
    // A header cut before "bin:", then the payload minus its last byte: no
    // frame may come out early, least of all a line cut at a LF of the payload.
    reader.append("SET UPDATE/SYSTEM:BIN SIZE:4 off");
    QVERIFY(!reader.next(&frame));
    reader.append("set:0 bin:\n\n\n");
    QVERIFY(!reader.next(&frame));
    reader.append("\n\r");
    QVERIFY(!reader.next(&frame));
    reader.append("\n");
    QVERIFY(reader.next(&frame));
    QCOMPARE(frame.payload, QByteArray("\n\n\n\n"));
    QVERIFY(frame.violations.isEmpty());
}

void TestDevsimParser::missingTrailerLeavesNextCommandReadable()
{
    CommandReader reader;
    reader.setMode(CommandReader::Commands);
    reader.append("SET UPDATE/SYSTEM:BIN SIZE:2 offset:0 bin:abSET UPDATE/SYSTEM:END\r\n");
    const QList<DeviceFrame> frames = readAll(reader);
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].payload, QByteArray("ab"));
    QCOMPARE(frames[0].violations,
             QStringList{ "data command at offset 0 is followed by \"SE\" instead of CR LF" });
    QCOMPARE(frames[1].text, QByteArray("SET UPDATE/SYSTEM:END"));
}

void TestDevsimParser::linesBeforeLoginAreNeverData()
{
    CommandReader reader;
    reader.append("\r\nSET UPDATE/SYSTEM:BIN SIZE:2 offset:0 bin:x\r\nsecret\n");
    const QList<DeviceFrame> frames = readAll(reader);
    QCOMPARE(frames.size(), 3);
    QCOMPARE(frames[0].text, QByteArray());
    QCOMPARE(frames[1].kind, DeviceFrame::Line);
    QCOMPARE(frames[1].text, QByteArray("SET UPDATE/SYSTEM:BIN SIZE:2 offset:0 bin:x"));
    QCOMPARE(frames[2].violations, QStringList{ "line \"secret\" ends in LF without CR" });
}

void TestDevsimParser::judge_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("size");
    QTest::addColumn<QStringList>("violations");

    const auto differs = [](const char *got, const char *exact) {
        return QStringList{ QStringLiteral("command \"%1\" differs from \"%2\"").arg(got, exact) };
    };
    QTest::newRow("name") << QByteArray("GET DEVICE/NAME\r\n") << int(DeviceCommand::GetName) << 0u
                          << QStringList();
    QTest::newRow("version") << QByteArray("GET DEVICE/VER/SYSTEM\r\n")
                             << int(DeviceCommand::GetVersion) << 0u << QStringList();
    QTest::newRow("start") << QByteArray("SET UPDATE/SYSTEM:STA SIZE:8d820\r\n")
                           << int(DeviceCommand::Start) << 0x8d820u << QStringList();
    QTest::newRow("end") << QByteArray("SET UPDATE/SYSTEM:END\r\n") << int(DeviceCommand::End) << 0u
                         << QStringList();
    QTest::newRow("data") << QByteArray("SET UPDATE/SYSTEM:BIN SIZE:1 offset:8d800 bin:x\r\n")
                          << int(DeviceCommand::Data) << 1u << QStringList();
    QTest::newRow("start, capitals")
            << QByteArray("SET UPDATE/SYSTEM:STA SIZE:8D820\r\n") << int(DeviceCommand::Start)
            << 0x8d820u
            << differs("SET UPDATE/SYSTEM:STA SIZE:8D820", "SET UPDATE/SYSTEM:STA SIZE:8d820");
    QTest::newRow("start, leading zero")
            << QByteArray("SET UPDATE/SYSTEM:STA SIZE:08d820\r\n") << int(DeviceCommand::Start)
            << 0x8d820u
            << differs("SET UPDATE/SYSTEM:STA SIZE:08d820", "SET UPDATE/SYSTEM:STA SIZE:8d820");
    QTest::newRow("end, two blanks")
            << QByteArray("SET  UPDATE/SYSTEM:END\r\n") << int(DeviceCommand::End) << 0u
            << differs("SET  UPDATE/SYSTEM:END", "SET UPDATE/SYSTEM:END");
    QTest::newRow("query, trailing blank")
            << QByteArray("GET DEVICE/NAME \r\n") << int(DeviceCommand::GetName) << 0u
            << differs("GET DEVICE/NAME ", "GET DEVICE/NAME");
    QTest::newRow("query, lower case")
            << QByteArray("get device/name\r\n") << int(DeviceCommand::GetName) << 0u
            << differs("get device/name", "GET DEVICE/NAME");
    QTest::newRow("query, LF only")
            << QByteArray("GET DEVICE/VER/SYSTEM\n") << int(DeviceCommand::GetVersion) << 0u
            << QStringList{ "line \"GET DEVICE/VER/SYSTEM\" ends in LF without CR" };
    QTest::newRow("data, capitals")
            << QByteArray("SET UPDATE/SYSTEM:BIN SIZE:1 offset:8D800 bin:x\r\n")
            << int(DeviceCommand::Data) << 1u
            << differs("SET UPDATE/SYSTEM:BIN SIZE:1 offset:8D800 bin:",
                       "SET UPDATE/SYSTEM:BIN SIZE:1 offset:8d800 bin:");
    QTest::newRow("data, blank before bin")
            << QByteArray("SET UPDATE/SYSTEM:BIN SIZE:1 offset:0  bin:x\r\n")
            << int(DeviceCommand::Data) << 1u
            << differs("SET UPDATE/SYSTEM:BIN SIZE:1 offset:0  bin:",
                       "SET UPDATE/SYSTEM:BIN SIZE:1 offset:0 bin:");
    QTest::newRow("unknown key") << QByteArray("GET DEVICE/NICKNAME\r\n")
                                 << int(DeviceCommand::Unknown) << 0u
                                 << QStringList{ "unknown command \"GET DEVICE/NICKNAME\"" };
    QTest::newRow("start without size")
            << QByteArray("SET UPDATE/SYSTEM:STA\r\n") << int(DeviceCommand::Unknown) << 0u
            << QStringList{ "unknown command \"SET UPDATE/SYSTEM:STA\"" };
    QTest::newRow("start, size not hex")
            << QByteArray("SET UPDATE/SYSTEM:STA SIZE:12g\r\n") << int(DeviceCommand::Unknown) << 0u
            << QStringList{ "unknown command \"SET UPDATE/SYSTEM:STA SIZE:12g\"" };
    QTest::newRow("binary garbage") << QByteArray("\x01\x02\r\n", 4) << int(DeviceCommand::Unknown)
                                    << 0u << QStringList{ "unknown command \"\\x01\\x02\"" };
}

void TestDevsimParser::judge()
{
    QFETCH(QByteArray, input);
    QFETCH(int, kind);
    QFETCH(uint, size);
    QFETCH(QStringList, violations);
    CommandReader reader;
    reader.setMode(CommandReader::Commands);
    reader.append(input);
    DeviceFrame frame;
    QVERIFY(reader.next(&frame));
    const DeviceCommand command = judgeCommand(frame);
    QCOMPARE(int(command.kind), kind);
    QCOMPARE(command.size, size);
    QCOMPARE(command.violations, violations);
}

void TestDevsimParser::searchIsNinetySevenBytes()
{
    const QByteArray search = SsdpText::expectedSearch();
    QCOMPARE(search.size(), 97);
    QVERIFY(search.startsWith("M-SEARCH * HTTP/1.1\r\nHost:239.255.255.250:1900\r\n"));
    QVERIFY(search.endsWith("Man:\"ssdp:discover\"\r\nMX:3\r\n\r\n"));
}

void TestDevsimParser::unitResponseCarriesDescription()
{
    UnitConfig unit = defaultUnit(QHostAddress(QStringLiteral("10.77.0.12")), 0);
    unit.model = QStringLiteral("ZP-9E");
    unit.uuid = QStringLiteral("63041253-1019-2006-1228-aabbccddeeff");
    const QByteArray response = SsdpText::unitResponse(unit, QStringLiteral("Stage Left/100% #1"));
    QVERIFY(response.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(response.endsWith("\r\n\r\n"));
    QVERIFY(response.contains(
            "\r\nUSN: uuid:63041253-1019-2006-1228-aabbccddeeff::upnp:rootdevice\r\n"));
    QVERIFY(response.contains("\r\n" KVX_MAKER_DOMAIN
                              ":model=\"ZP-9E\",version=\"1.02\",name=\"Stage%"
                              "20Left%2F100%25%20%231\"\r\n"));
}

void TestDevsimParser::config_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");

    QTest::newRow("minimal") << QByteArray(R"({"units":[{"address":"10.77.0.10"}]})") << QString();
    QTest::newRow("not JSON") << QByteArray("{units") << QString("not valid JSON");
    QTest::newRow("no units") << QByteArray("{}")
                              << QString("configuration: \"units\" must be an array");
    QTest::newRow("bad address") << QByteArray(R"({"units":[{"address":"10.77.0"}]})")
                                 << QString("units[0]: \"address\" must be an IPv4 address");
    QTest::newRow("IPv6 address") << QByteArray(R"({"units":[{"address":"::1"}]})")
                                  << QString("units[0]: \"address\" must be an IPv4 address");
    QTest::newRow("address twice")
            << QByteArray(R"({"units":[{"address":"10.77.0.10"},{"address":"10.77.0.10"}]})")
            << QString("units[1]: address 10.77.0.10 is used twice");
    QTest::newRow("misspelt fault")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","faults":{"ngStrat":true}}]})")
            << QString("units[0].faults: unknown key \"ngStrat\"");
    QTest::newRow("fault of wrong type")
            << QByteArray(
                       R"({"units":[{"address":"10.77.0.10","faults":{"closeAtOffset":"512"}}]})")
            << QString("units[0].faults: \"closeAtOffset\" must be a number");
    QTest::newRow("ngData without index")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","faults":{"ngData":{"times":2}}}]})")
            << QString("units[0].faults.ngData: \"index\" must be 0 or more");
    QTest::newRow("unknown top-level key") << QByteArray(R"({"flod":5,"units":[]})")
                                           << QString("configuration: unknown key \"flod\"");
    QTest::newRow("unknown line end")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","lineEnd":"LF"}]})")
            << QString("units[0]: \"lineEnd\" must be \"crlf\", \"cr\", \"none\", \"nul\" or "
                       "\"crlfnul\"");
    QTest::newRow("unknown refusal")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","refusal":"hang-up"}]})")
            << QString("units[0]: \"refusal\" must be \"failed\", \"prompt\", \"silence\" or "
                       "\"hangUp\"");
    QTest::newRow("drop flag of wrong type")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","dropInputOnFailure":"yes"}]})")
            << QString("units[0]: \"dropInputOnFailure\" must be true or false");
    QTest::newRow("behaviour of wrong type")
            << QByteArray(R"({"units":[{"address":"10.77.0.10","promptOnConnect":1}]})")
            << QString("units[0]: \"promptOnConnect\" must be true or false");
}

// Each behaviour a unit in the field may have, read from its key; a unit
// without them behaves like the description's.
void TestDevsimParser::behaviours()
{
    SimConfig config;
    QString error;
    QVERIFY(parseSimConfig(R"({"makerDomain":"maker.example","units":[
        {"address":"10.77.0.10"},
        {"address":"10.77.0.11","promptOnConnect":true,"lineEnd":"cr","ackWords":true,
         "startDelayMs":20000,"repromptAfterFailure":true,"verdictDelayMs":700,
         "dropInputOnFailure":true},
        {"address":"10.77.0.12","lineEnd":"none"}]})",
                           &config, &error));
    QCOMPARE(config.makerDomain, QString("maker.example"));
    const UnitBehaviour plain = config.units.at(0).behaviour;
    QCOMPARE(plain.promptOnConnect, false);
    QCOMPARE(plain.repromptAfterFailure, false);
    QCOMPARE(plain.lineEnd, UnitBehaviour::CrLf);
    QCOMPARE(plain.ackWords, false);
    QCOMPARE(plain.startDelayMs, 0);
    QCOMPARE(plain.verdictDelayMs, 0);
    QCOMPARE(plain.dropInputOnFailure, false);
    const UnitBehaviour field = config.units.at(1).behaviour;
    QCOMPARE(field.promptOnConnect, true);
    QCOMPARE(field.repromptAfterFailure, true);
    QCOMPARE(field.lineEnd, UnitBehaviour::Cr);
    QCOMPARE(field.ackWords, true);
    QCOMPARE(field.startDelayMs, 20000);
    QCOMPARE(field.verdictDelayMs, 700);
    QCOMPARE(field.dropInputOnFailure, true);
    QCOMPARE(config.units.at(2).behaviour.lineEnd, UnitBehaviour::None);

    SimConfig defaults;
    QVERIFY(parseSimConfig(R"({"units":[{"address":"10.77.0.10"}]})", &defaults, &error));
    QCOMPARE(defaults.makerDomain, QString(KVX_MAKER_DOMAIN));
}

void TestDevsimParser::config()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    SimConfig config;
    QString message;
    const bool ok = parseSimConfig(json, &config, &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QVERIFY2(message.startsWith(error), qPrintable(message));
        return;
    }
    QCOMPARE(config.units.size(), 1);
    const UnitConfig &unit = config.units.first();
    QCOMPARE(unit.address.toString(), QString("10.77.0.10"));
    QCOMPARE(unit.model, QString("ZP-9E"));
    QCOMPARE(unit.password, QString("admin"));
    QCOMPARE(unit.uuid, QString("63041253-1019-2006-1228-00000a4d000a"));
    QCOMPARE(unit.faults.ngDataIndex, -1);
    QCOMPARE(unit.faults.closeAtOffset, qint64(-1));
}

void TestDevsimParser::restartSettings_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<double>("rebootSeconds");
    QTest::addColumn<bool>("bootFails");
    QTest::addColumn<QString>("error");

    QTest::newRow("defaults") << QByteArray(R"({"address":"10.77.0.10"})") << 8.0 << false
                              << QString();
    QTest::newRow("reboot time") << QByteArray(R"({"address":"10.77.0.10","rebootSeconds":20.5})")
                                 << 20.5 << false << QString();
    QTest::newRow("no restart") << QByteArray(R"({"address":"10.77.0.10","rebootSeconds":-1})")
                                << -1.0 << false << QString();
    QTest::newRow("boot fails") << QByteArray(
            R"({"address":"10.77.0.10","faults":{"bootFails":true}})")
                                << 8.0 << true << QString();
    QTest::newRow("reboot time as text")
            << QByteArray(R"({"address":"10.77.0.10","rebootSeconds":"8"})") << 8.0 << false
            << QString("units[0]: \"rebootSeconds\" must be a number");
    QTest::newRow("bootFails as number")
            << QByteArray(R"({"address":"10.77.0.10","faults":{"bootFails":1}})") << 8.0 << false
            << QString("units[0].faults: \"bootFails\" must be true or false");
    QTest::newRow("bootFails outside faults")
            << QByteArray(R"({"address":"10.77.0.10","bootFails":true})") << 8.0 << false
            << QString("units[0]: unknown key \"bootFails\"");
}

void TestDevsimParser::restartSettings()
{
    QFETCH(QByteArray, unit);
    QFETCH(QString, error);
    SimConfig config;
    QString message;
    const bool ok = parseSimConfig("{\"units\":[" + unit + "]}", &config, &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QCOMPARE(message, error);
        return;
    }
    QTEST(config.units.first().rebootSeconds, "rebootSeconds");
    QTEST(config.units.first().faults.bootFails, "bootFails");
}

void TestDevsimParser::headerVersionAndBuild_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");

    QTest::newRow("shipped") << QByteArray("VK-3F\0\0\0\x68\x00\x77\x00payload", 19) << "1.04"
                             << "0119";
    QTest::newRow("two-digit minor") << QByteArray("VK-3F\0\0\0\x6e\x00\x05\x00", 12) << "1.10"
                                     << "0005";
    QTest::newRow("below one") << QByteArray("VK-3F\0\0\0\x0c\x00\x00\x00", 12) << "0.12"
                               << "0000";
    QTest::newRow("high bytes") << QByteArray("VK-3F\0\0\0\xff\xff\xff\xff", 12) << "655.35"
                                << "65535";
    QTest::newRow("short image") << QByteArray("VK") << "0.00"
                                 << "0000";
}

void TestDevsimParser::headerVersionAndBuild()
{
    QFETCH(QByteArray, image);
    QTEST(UnitServer::headerVersion(image), "version");
    QTEST(UnitServer::headerBuild(image), "build");
}

QTEST_GUILESS_MAIN(TestDevsimParser)
#include "tst_devsim_parser.moc"
