#include "device/udpmachinenode.h"
#include "discovery/ssdpsearch.h"

#include <QTest>

// The list view parses these texts and keys its cards by them; the layout,
// the key order and the string-only values are what it was written against.
class TestNodeMessages : public QObject
{
    Q_OBJECT

private slots:
    void addMessage();
    void addMessageOfServerAcceptedUnit();
    void addMessageEscapes();
    void updateMessage_data();
    void updateMessage();
    void deleteMessage();
};

static QByteArray description(const QByteArray &line)
{
    return "HTTP/1.1 200 OK\r\n" + line + "\r\n\r\n";
}

void TestNodeMessages::addMessage()
{
    UdpMachineNode record(description(KVX_MAKER_DOMAIN ":device:version=1.02,model=ZP-9E"),
                          QHostAddress(QStringLiteral("10.77.0.20")));
    QVERIFY(record.m_f_valid);
    QCOMPARE(record.jsonAddNode(),
             QStringLiteral("{\n"
                            "    \"action\": \"add\",\n"
                            "    \"m_count\": \"0\",\n"
                            "    \"m_ipaddr\": \"10.77.0.20\",\n"
                            "    \"m_modelname\": \"ZP-9E\",\n"
                            "    \"m_nickname\": \"\",\n"
                            "    \"m_state\": \"0\",\n"
                            "    \"m_version\": \"1.02\"\n"
                            "}\n"));
    // Numbers travel as decimal text, whatever they are.
    record.m_count = 11;
    record.m_state = -3;
    QVERIFY(record.jsonAddNode().contains(QLatin1String("\"m_count\": \"11\",\n")));
    QVERIFY(record.jsonAddNode().contains(QLatin1String("\"m_state\": \"-3\",\n")));
}

void TestNodeMessages::addMessageOfServerAcceptedUnit()
{
    UdpMachineNode record(SsdpSearch::testResponse(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(record.m_f_valid);
    QCOMPARE(record.jsonAddNode(),
             QStringLiteral("{\n"
                            "    \"action\": \"add\",\n"
                            "    \"m_count\": \"0\",\n"
                            "    \"m_ipaddr\": \"127.0.0.1\",\n"
                            "    \"m_modelname\": \"\",\n"
                            "    \"m_nickname\": \"\",\n"
                            "    \"m_state\": \"0\",\n"
                            "    \"m_version\": \"\"\n"
                            "}\n"));
}

void TestNodeMessages::addMessageEscapes()
{
    // A nickname is whatever the user typed on the unit.
    UdpMachineNode record(description(KVX_MAKER_DOMAIN ":model=VK-3F,name=%22Caf%C3%A9%5C%09%01"),
                          QHostAddress(QStringLiteral("10.77.0.21")));
    QCOMPARE(record.m_nickname, QString::fromUtf8("\"Caf\xc3\xa9\\\t\x01"));
    QVERIFY(record.jsonAddNode().contains(
            QString::fromUtf8("    \"m_nickname\": \"\\\"Caf\xc3\xa9\\\\\\t\\u0001\",\n")));
}

void TestNodeMessages::updateMessage_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("member"); // the one requested member's line, or empty

    QTest::newRow("m_modelname") << "m_modelname"
                                 << "\"m_modelname\": \"ZP-9E\"";
    QTest::newRow("m_nickname") << "m_nickname"
                                << "\"m_nickname\": \"Desk\"";
    QTest::newRow("m_state") << "m_state"
                             << "\"m_state\": \"0\"";
    QTest::newRow("m_count") << "m_count"
                             << "\"m_count\": \"7\"";
    QTest::newRow("m_login_passwd") << "m_login_passwd"
                                    << "\"m_login_passwd\": \"pw\"";
    QTest::newRow("m_version") << "m_version"
                               << "\"m_version\": \"1.02\"";
    QTest::newRow("m_build") << "m_build"
                             << "\"m_build\": \"(build42)\"";
    QTest::newRow("m_uuid") << "m_uuid"
                            << "\"m_uuid\": \"abc\"";
    QTest::newRow("m_after_update") << "m_after_update"
                                    << "\"m_after_update\": \"back\"";
    QTest::newRow("upper case key") << "M_MODELNAME"
                                    << "";
    QTest::newRow("m_ipaddr") << "m_ipaddr"
                              << "";
    QTest::newRow("unknown key") << "m_mac"
                                 << "";
    QTest::newRow("empty key") << ""
                               << "";
}

void TestNodeMessages::updateMessage()
{
    QFETCH(QString, key);
    QFETCH(QString, member);
    UdpMachineNode record(description(KVX_MAKER_DOMAIN ":model=ZP-9E,version=1.02,name=Desk"),
                          QHostAddress(QStringLiteral("10.77.0.20")));
    record.m_count = 7;
    record.m_login_passwd = QStringLiteral("pw");
    record.m_build = QStringLiteral("(build42)");
    record.m_uuid = QStringLiteral("abc");
    record.m_after_update = QStringLiteral("back");

    QStringList lines{ QStringLiteral("\"action\": \"update\""),
                       QStringLiteral("\"m_ipaddr\": \"10.77.0.20\"") };
    if (!member.isEmpty())
        lines << member;
    std::sort(lines.begin(), lines.end()); // ascending keys
    QString expected = QStringLiteral("{\n");
    for (int i = 0; i < lines.size(); ++i)
        expected += QStringLiteral("    ") + lines.at(i) + (i + 1 < lines.size() ? ",\n" : "\n");
    expected += QStringLiteral("}\n");
    QCOMPARE(record.jsonUpdateNode(key), expected);
}

void TestNodeMessages::deleteMessage()
{
    UdpMachineNode record(description(KVX_MAKER_DOMAIN ":model=ZP-9E,name=Desk"),
                          QHostAddress(QStringLiteral("10.77.0.20")));
    QCOMPARE(record.jsonRemoveNode(),
             QStringLiteral("{\n"
                            "    \"action\": \"delete\",\n"
                            "    \"m_ipaddr\": \"10.77.0.20\"\n"
                            "}\n"));
}

QTEST_GUILESS_MAIN(TestNodeMessages)
#include "tst_nodemessages.moc"
