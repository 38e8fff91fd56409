// How both programs name the image: the header's model, version and build,
// its size, and the SHA-256 of every byte; the line and the JSON object
// kvx-update prints. A damaged header must not put control characters into
// a report, the history or a terminal.
#include "core/runimage.h"

#include <QFile>
#include <QJsonObject>
#include <QTest>

class TestRunImage : public QObject
{
    Q_OBJECT

private slots:
    void fromImage_data();
    void fromImage();
    void summaryAndJson();
    void embeddedImageIsTheBuiltImage();
};

namespace {

const QByteArray kShippedHeader("VK-3F\0\0\0\x68\x00\x77\x00", 12);
const QString kShippedHeaderSha =
        QStringLiteral("3b6371e356ef4465b45cb53d8ae7e09485024f9385730db0d652f5d1466babbf");

} // namespace

// The version and build are the header's (tst_firmwareheader); what the
// wrapper adds is the cleaned model, the size and the digest.
void TestRunImage::fromImage_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("sha256"); // empty: not spelled out

    QTest::newRow("shipped header") << kShippedHeader << "VK-3F" << kShippedHeaderSha;
    QTest::newRow("abc: the standard SHA-256 vector")
            << QByteArray("abc") << "abc"
            << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("empty") << QByteArray() << ""
                           << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("control characters")
            << QByteArray("A\x01\x1b\x7f\x85Z\0\0\x68\x00\x77\x00", 12) << "A????Z" << QString();
    QTest::newRow("escape sequence in the name")
            << QByteArray("A\x1b[1m\0\0\0\0\0\0\0", 12) << "A?[1m" << QString();
    QTest::newRow("Latin-1 kept") << QByteArray("K\xe9\0\0\0\0\0\0\x68\x00\x77\x00", 12)
                                  << QString::fromUtf8("Ké") << QString();
    QTest::newRow("no NUL: eight characters")
            << QByteArray("ABCDEFGH\x68\x00\x77\x00", 12) << "ABCDEFGH" << QString();
    QTest::newRow("eight letters, other numbers")
            << QByteArray("ZP-9EXYZ\x39\x30\x07\0", 12) << "ZP-9EXYZ" << QString();
}

void TestRunImage::fromImage()
{
    QFETCH(QByteArray, image);
    const RunImage run = RunImage::fromImage(image);
    QTEST(run.model, "model");
    QCOMPARE(run.size, qint64(image.size()));
    QFETCH(QString, sha256);
    if (!sha256.isEmpty())
        QCOMPARE(run.sha256, sha256);
    QCOMPARE(run.sha256.size(), 64);
}

void TestRunImage::summaryAndJson()
{
    const RunImage image = RunImage::fromImage(kShippedHeader);
    QCOMPARE(image.version, QStringLiteral("1.04"));
    QCOMPARE(image.build, QStringLiteral("0119"));
    QCOMPARE(image.summary(),
             QStringLiteral("VK-3F 1.04 (build0119), 12 bytes, SHA-256 ") + kShippedHeaderSha);
    QCOMPARE(RunImage::fromImage(QByteArray()).summary(),
             QStringLiteral("(no model) 0 (build0000), 0 bytes, SHA-256 "
                            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    const QJsonObject json = image.toJson();
    QCOMPARE(json,
             (QJsonObject{ { "model", "VK-3F" },
                           { "version", "1.04" },
                           { "build", "0119" },
                           { "size", 12 },
                           { "sha256", kShippedHeaderSha } }));
}

void TestRunImage::embeddedImageIsTheBuiltImage()
{
    const QString path = qEnvironmentVariable("KVX_IMAGE_PATH");
    if (path.isEmpty())
        QSKIP("KVX_IMAGE_PATH is unset (run through ctest)");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = file.readAll();
    QVERIFY(!expected.isEmpty());
    QCOMPARE(RunImage::embeddedImage(), expected);
    QCOMPARE(RunImage::fromImage(RunImage::embeddedImage()).size, qint64(expected.size()));
}

QTEST_GUILESS_MAIN(TestRunImage)
#include "tst_runimage.moc"
