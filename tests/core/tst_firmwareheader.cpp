#include "core/firmwareheader.h"

#include <QFile>
#include <QTest>

class TestFirmwareHeader : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void versionText_data();
    void versionText();
    void buildText_data();
    void buildText();
    void embeddedPlaceholder();
};

static QByteArray image(const QByteArray &model, int version, int build)
{
    QByteArray bytes = model.leftJustified(8, '\0', true);
    bytes.append(char(version & 0xff)).append(char(version >> 8));
    bytes.append(char(build & 0xff)).append(char(build >> 8));
    return bytes + QByteArray(20, 'x');
}

void TestFirmwareHeader::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("zp9e");
    QTest::addColumn<bool>("vk3f");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");

    QTest::newRow("shipped") << image("VK-3F", 104, 119) << false << true << "1.04"
                             << "0119";
    QTest::newRow("zp9e") << image("ZP-9E", 104, 119) << true << false << "1.04"
                          << "0119";
    QTest::newRow("lower-case model") << image("vk-3f", 104, 119) << false << false << "1.04"
                                      << "0119";
    QTest::newRow("lower-case zp") << image("zp-9e", 1, 1) << false << false << "1"
                                   << "0001";
    QTest::newRow("foreign model") << image("RT-6C", 300, 7) << false << false << "3.00"
                                   << "0007";
    QTest::newRow("empty") << QByteArray() << false << false << "0"
                           << "0000";
    QTest::newRow("four bytes of model") << QByteArray("ZP-9") << false << false << "0"
                                         << "0000";
    QTest::newRow("8 bytes") << QByteArray("ZP-9E\0\0\0", 8) << true << false << "0"
                             << "0000";
    QTest::newRow("9 bytes: version is byte 8")
            << QByteArray("VK-3F\0\0\0\x63", 9) << false << true << ".99"
            << "0000";
    QTest::newRow("11 bytes: build is byte 10")
            << QByteArray("VK-3F\0\0\0\x68\x00\x77", 11) << false << true << "1.04"
            << "0119";
    QTest::newRow("high bytes") << image("VK-3F", 0xffff, 0xffff) << false << true << "655.35"
                                << "65535";
    QTest::newRow("version 10") << image("VK-3F", 10, 0) << false << true << ".10"
                                << "0000";
    QTest::newRow("version 9") << image("VK-3F", 9, 0) << false << true << "9"
                               << "0000";
    QTest::newRow("version 100") << image("VK-3F", 100, 0) << false << true << "1.00"
                                 << "0000";
    QTest::newRow("bytes taken unsigned")
            << image("VK-3F", 0x80ff, 0x8080) << false << true << "330.23"
            << "32896";
}

void TestFirmwareHeader::decode()
{
    QFETCH(QByteArray, bytes);
    const FirmwareHeader header = FirmwareHeader::fromImage(bytes);
    QTEST(header.isZp9e, "zp9e");
    QTEST(header.isVk3f, "vk3f");
    QTEST(header.versionText, "version");
    QTEST(header.buildText, "build");
}

void TestFirmwareHeader::versionText_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("5") << 5 << "5";
    QTest::newRow("12") << 12 << ".12";
    QTest::newRow("104") << 104 << "1.04";
    QTest::newRow("1234") << 1234 << "12.34";
    QTest::newRow("65535") << 65535 << "655.35";
}

void TestFirmwareHeader::versionText()
{
    QFETCH(int, version);
    QTEST(FirmwareHeader::formatVersion(quint16(version)), "text");
}

void TestFirmwareHeader::buildText_data()
{
    QTest::addColumn<int>("build");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0000";
    QTest::newRow("7") << 7 << "0007";
    QTest::newRow("119") << 119 << "0119";
    QTest::newRow("9999") << 9999 << "9999";
    QTest::newRow("five digits") << 12345 << "12345";
}

void TestFirmwareHeader::buildText()
{
    QFETCH(int, build);
    QTEST(FirmwareHeader::formatBuild(quint16(build)), "text");
}

// The placeholder stands in for the vendor image, so it must look like it to
// every consumer: size, header, and the bytes a line protocol finds hardest.
void TestFirmwareHeader::embeddedPlaceholder()
{
    QFile file(QString::fromLocal8Bit(qgetenv("KVX_IMAGE_PATH")));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray bytes = file.readAll();
    if (!file.fileName().endsWith(QLatin1String("/resources/binfile")))
        QSKIP("a vendor image is embedded");
    QCOMPARE(bytes.size(), 579616);
    QCOMPARE(bytes.left(12), QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12));
    int counts[256] = {};
    for (int i = 12; i < bytes.size(); ++i)
        ++counts[quint8(bytes.at(i))];
    for (int value = 0; value < 256; ++value)
        QVERIFY2(counts[value] > 1000, qPrintable(QString::number(value)));
}

QTEST_APPLESS_MAIN(TestFirmwareHeader)
#include "tst_firmwareheader.moc"
