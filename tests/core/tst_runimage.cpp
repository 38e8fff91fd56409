// How a run's record names the image it wrote: the header's model, version
// and build, and the SHA-256 of every byte. A damaged header must not put
// control characters into a report or the history.
#include "core/runimage.h"

#include <QTest>

class TestRunImage : public QObject
{
    Q_OBJECT

private slots:
    void fromImage_data();
    void fromImage();
};

void TestRunImage::fromImage_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("sha256");
    QTest::newRow("shipped header")
            << QByteArray("VK-3F\0\0\0\x68\x00\x77\x00", 12) << "VK-3F"
            << "1.04"
            << "0119"
            << "3b6371e356ef4465b45cb53d8ae7e09485024f9385730db0d652f5d1466babbf";
    QTest::newRow("control characters")
            << QByteArray("A\x01\x1b\x7f\x85Z\0\0\x68\x00\x77\x00", 12) << "A????Z"
            << "1.04"
            << "0119" << QString();
    QTest::newRow("Latin-1 kept") << QByteArray("K\xe9\0\0\0\0\0\0\x68\x00\x77\x00", 12)
                                  << QString::fromUtf8("Ké") << "1.04"
                                  << "0119" << QString();
    QTest::newRow("no NUL: eight characters")
            << QByteArray("ABCDEFGH\x68\x00\x77\x00", 12) << "ABCDEFGH"
            << "1.04"
            << "0119" << QString();
}

void TestRunImage::fromImage()
{
    QFETCH(QByteArray, image);
    const RunImage run = RunImage::fromImage(image);
    QTEST(run.model, "model");
    QTEST(run.version, "version");
    QTEST(run.build, "build");
    QFETCH(QString, sha256);
    if (!sha256.isEmpty())
        QCOMPARE(run.sha256, sha256);
    QCOMPARE(run.sha256.size(), 64);
}

QTEST_GUILESS_MAIN(TestRunImage)
#include "tst_runimage.moc"
