#include "core/firmwareheader.h"
#include "core/versioncompare.h"
#include "core/versionstanding.h"

#include <QTest>

// Version texts come from the network: every comparison is a table row, and
// texts that are no version must give no answer rather than a wrong one.
class TestVersionCompare : public QObject
{
    Q_OBJECT

private slots:
    void compare_data();
    void compare();
    void compareIsAntisymmetric_data();
    void compareIsAntisymmetric();
    void veryLongTexts();
    void buildNumber_data();
    void buildNumber();
    void judge_data();
    void judge();
    void names_data();
    void names();
    void imageModel_data();
    void imageModel();
};

using VersionCompare::Order;
Q_DECLARE_METATYPE(VersionCompare::Order)
Q_DECLARE_METATYPE(VersionStanding::Standing)

void TestVersionCompare::compare_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<Order>("order");

    QTest::newRow("same") << "1.04"
                          << "1.04" << VersionCompare::Same;
    QTest::newRow("older") << "1.02"
                           << "1.04" << VersionCompare::Older;
    QTest::newRow("newer") << "1.05"
                           << "1.04" << VersionCompare::Newer;
    QTest::newRow("1.10 after 1.9") << "1.10"
                                    << "1.9" << VersionCompare::Newer;
    QTest::newRow("1.9 before 1.10") << "1.9"
                                     << "1.10" << VersionCompare::Older;
    QTest::newRow("leading zero is the same number") << "1.04"
                                                     << "1.4" << VersionCompare::Same;
    QTest::newRow("major wins") << "2.00"
                                << "1.99" << VersionCompare::Newer;
    QTest::newRow("missing part is zero") << "1.04.0"
                                          << "1.04" << VersionCompare::Same;
    QTest::newRow("extra part counts") << "1.04.1"
                                       << "1.04" << VersionCompare::Newer;
    QTest::newRow("blanks around") << " 1.04\t"
                                   << "1.04" << VersionCompare::Same;
    QTest::newRow("header below one") << ".12"
                                      << "0.12" << VersionCompare::Same;
    QTest::newRow("header one digit") << "5"
                                      << "1.04" << VersionCompare::Newer;
    QTest::newRow("zero") << "0"
                          << "1.04" << VersionCompare::Older;
    QTest::newRow("big parts") << "1.99999999999999999999"
                               << "1.99999999999999999998" << VersionCompare::Newer;
    QTest::newRow("empty") << ""
                           << "1.04" << VersionCompare::Invalid;
    QTest::newRow("blank") << "   "
                           << "1.04" << VersionCompare::Invalid;
    QTest::newRow("letters") << "abc"
                             << "1.04" << VersionCompare::Invalid;
    QTest::newRow("v prefix") << "V1.04"
                              << "1.04" << VersionCompare::Invalid;
    QTest::newRow("letters inside") << "1.0a"
                                    << "1.04" << VersionCompare::Invalid;
    QTest::newRow("double dot") << "1..2"
                                << "1.04" << VersionCompare::Invalid;
    QTest::newRow("trailing dot") << "1."
                                  << "1.04" << VersionCompare::Invalid;
    QTest::newRow("dot alone") << "."
                               << "1.04" << VersionCompare::Invalid;
    QTest::newRow("two leading dots") << "..4"
                                      << "1.04" << VersionCompare::Invalid;
    QTest::newRow("minus") << "-1.04"
                           << "1.04" << VersionCompare::Invalid;
    QTest::newRow("blank inside") << "1. 04"
                                  << "1.04" << VersionCompare::Invalid;
    QTest::newRow("Arabic-Indic digits")
            << QString::fromUtf8("\u0661.\u0660\u0664") << "1.04" << VersionCompare::Invalid;
    QTest::newRow("bad reference") << "1.04"
                                   << "" << VersionCompare::Invalid;
}

void TestVersionCompare::compare()
{
    QFETCH(QString, version);
    QFETCH(QString, reference);
    QFETCH(Order, order);
    QCOMPARE(VersionCompare::compare(version, reference), order);
    QCOMPARE(VersionCompare::isVersion(version),
             order != VersionCompare::Invalid || !VersionCompare::isVersion(reference));
}

void TestVersionCompare::compareIsAntisymmetric_data()
{
    compare_data();
}

void TestVersionCompare::compareIsAntisymmetric()
{
    QFETCH(QString, version);
    QFETCH(QString, reference);
    QFETCH(Order, order);
    const Order swapped = VersionCompare::compare(reference, version);
    QCOMPARE(swapped, order == VersionCompare::Invalid ? VersionCompare::Invalid : Order(-order));
}

void TestVersionCompare::veryLongTexts()
{
    // A hostile unit may send a text of any length: compared digit by
    // digit, with no number ever built from it.
    const QString longNumber = QStringLiteral("1.") + QString(100000, QLatin1Char('9'));
    QCOMPARE(VersionCompare::compare(longNumber, QStringLiteral("1.04")), VersionCompare::Newer);
    QCOMPARE(VersionCompare::compare(QStringLiteral("1.04"), longNumber), VersionCompare::Older);
    QString manyParts = QStringLiteral("1");
    for (int i = 0; i < 50000; ++i)
        manyParts += QStringLiteral(".0");
    QCOMPARE(VersionCompare::compare(manyParts, QStringLiteral("1")), VersionCompare::Same);
    QCOMPARE(VersionCompare::compare(manyParts + QStringLiteral(".1"), QStringLiteral("1")),
             VersionCompare::Newer);
    QCOMPARE(VersionCompare::compare(QString(100000, QLatin1Char('.')), QStringLiteral("1")),
             VersionCompare::Invalid);
    QCOMPARE(VersionCompare::compare(QString(100000, QLatin1Char('x')), QStringLiteral("1")),
             VersionCompare::Invalid);
    QCOMPARE(VersionCompare::compare(QString(100000, QLatin1Char('0')), QStringLiteral("0")),
             VersionCompare::Same);
}

void TestVersionCompare::buildNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("number");

    QTest::newRow("card text") << "(build0119)"
                               << "119";
    QTest::newRow("header text") << "0119"
                                 << "119";
    QTest::newRow("bare") << "119"
                          << "119";
    QTest::newRow("zero") << "(build0000)"
                          << "0";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("empty in parentheses") << "(build)"
                                          << "";
    QTest::newRow("letters") << "(buildB12)"
                             << "";
    QTest::newRow("no closing parenthesis") << "(build0119"
                                            << "";
    QTest::newRow("blank and number") << "(build 0119)"
                                      << "119";
    QTest::newRow("upper case word") << "(BUILD0119)"
                                     << "";
}

void TestVersionCompare::buildNumber()
{
    QFETCH(QString, text);
    QTEST(VersionCompare::buildNumber(text), "number");
}

void TestVersionCompare::judge_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<VersionStanding::Standing>("standing");

    // Against the shipped image: VK-3F, 1.04, build 0119.
    QTest::newRow("current, build unknown") << "VK-3F"
                                            << "1.04"
                                            << "" << VersionStanding::Current;
    QTest::newRow("current, same build") << "VK-3F"
                                         << "1.04"
                                         << "(build0119)" << VersionStanding::Current;
    QTest::newRow("same version, older build") << "VK-3F"
                                               << "1.04"
                                               << "(build0110)" << VersionStanding::Older;
    QTest::newRow("same version, newer build") << "VK-3F"
                                               << "1.04"
                                               << "(build0120)" << VersionStanding::Newer;
    QTest::newRow("same version, unreadable build") << "VK-3F"
                                                    << "1.04"
                                                    << "(buildX)" << VersionStanding::Current;
    QTest::newRow("older") << "VK-3F"
                           << "1.02"
                           << "(build0200)" << VersionStanding::Older;
    QTest::newRow("newer") << "VK-3F"
                           << "1.10"
                           << "" << VersionStanding::Newer;
    QTest::newRow("model with suffix") << "VK-3F-B"
                                       << "1.04"
                                       << "" << VersionStanding::Current;
    QTest::newRow("unknown model") << ""
                                   << "1.02"
                                   << "" << VersionStanding::Older;
    QTest::newRow("other model") << "ZP-9E"
                                 << "1.04"
                                 << "" << VersionStanding::OtherModel;
    QTest::newRow("other model, no version") << "ZP-9E"
                                             << ""
                                             << "" << VersionStanding::OtherModel;
    QTest::newRow("lower-case model is another") << "vk-3f"
                                                 << "1.04"
                                                 << "" << VersionStanding::OtherModel;
    QTest::newRow("empty version") << "VK-3F"
                                   << ""
                                   << "" << VersionStanding::Unknown;
    QTest::newRow("letters") << "VK-3F"
                             << "abc"
                             << "" << VersionStanding::Unknown;
    QTest::newRow("double dot") << "VK-3F"
                                << "1..2"
                                << "" << VersionStanding::Unknown;
    QTest::newRow("very long") << "VK-3F" << QString(5000, QLatin1Char('7')) << ""
                               << VersionStanding::Newer;
    QTest::newRow("very long letters")
            << "VK-3F" << QString(5000, QLatin1Char('z')) << "" << VersionStanding::Unknown;
    QTest::newRow("nothing known") << ""
                                   << ""
                                   << "" << VersionStanding::Unknown;
}

void TestVersionCompare::judge()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, build);
    QFETCH(VersionStanding::Standing, standing);

    QByteArray image("VK-3F\0\0\0\x68\x00\x77\x00", 12);
    const FirmwareHeader header = FirmwareHeader::fromImage(image);
    QCOMPARE(VersionStanding::judge(model, version, build, header), standing);
}

void TestVersionCompare::names_data()
{
    QTest::addColumn<VersionStanding::Standing>("standing");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("status");

    QTest::newRow("unknown") << VersionStanding::Unknown << ""
                             << "unknown";
    QTest::newRow("current") << VersionStanding::Current << "current"
                             << "current";
    QTest::newRow("older") << VersionStanding::Older << "older"
                           << "older";
    QTest::newRow("newer") << VersionStanding::Newer << "newer"
                           << "newer";
    QTest::newRow("other model") << VersionStanding::OtherModel << "other model"
                                 << "other-model";
}

void TestVersionCompare::names()
{
    QFETCH(VersionStanding::Standing, standing);
    QTEST(VersionStanding::tagText(standing), "tag");
    QTEST(VersionStanding::statusName(standing), "status");
}

void TestVersionCompare::imageModel_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<bool>("other");

    QTest::newRow("padded") << QByteArray("VK-3F\0\0\0\x68\0", 10) << "VK-3F"
                            << "ZP-9E" << true;
    QTest::newRow("eight letters") << QByteArray("VK-3FXYZ\x68\0", 10) << "VK-3FXYZ"
                                   << "VK-3F" << true;
    QTest::newRow("no image: no other model") << QByteArray() << ""
                                              << "ZP-9E" << false;
    QTest::newRow("short") << QByteArray("VK") << "VK"
                           << "VK-3F" << false;
    QTest::newRow("NUL first") << QByteArray("\0VK-3F\0\0", 8) << ""
                               << "RT-6C" << false;
}

void TestVersionCompare::imageModel()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, unitModel);
    const FirmwareHeader header = FirmwareHeader::fromImage(bytes);
    QTEST(header.model, "model");
    QTEST(VersionStanding::isOtherModel(unitModel, header.model), "other");
}

QTEST_APPLESS_MAIN(TestVersionCompare)
#include "tst_versioncompare.moc"
