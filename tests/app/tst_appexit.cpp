#include "common/isolation.h"
#include "x11close.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

// The real program in a real (virtual) X display: closing its window through
// the window-manager protocol ends the process with the event loop's result.
class TestAppExit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void closingTheWindowEndsTheProcess_data();
    void closingTheWindowEndsTheProcess();

private:
    QProcess m_xvfb;
    QByteArray m_display;
};

void TestAppExit::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        QSKIP("Xvfb is not installed");
    // A display number of our own; -nolisten tcp keeps it on a local socket.
    m_display = ":" + QByteArray::number(70 + QCoreApplication::applicationPid() % 200);
    m_xvfb.setProgram(xvfb);
    m_xvfb.setArguments({ QString::fromLatin1(m_display), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("800x900x24") });
    m_xvfb.start();
    QVERIFY(m_xvfb.waitForStarted());
    QTest::qWait(500);
    QCOMPARE(m_xvfb.state(), QProcess::Running);
}

void TestAppExit::cleanupTestCase()
{
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

void TestAppExit::closingTheWindowEndsTheProcess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("unknown arguments are ignored") << QStringList{ "--bogus", "fw.104" };
}

void TestAppExit::closingTheWindowEndsTheProcess()
{
    QFETCH(QStringList, arguments);
    QProcess updater;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    updater.setProcessEnvironment(env);
    updater.start(QString::fromLocal8Bit(qgetenv("KVX_UPDATER")), arguments);
    QVERIFY(updater.waitForStarted());

    QVERIFY(requestX11WindowClose(m_display, QStringLiteral("VORANT KVX Series Firmware Updater"),
                                  20000));
    const bool finished = updater.waitForFinished(20000);
    const QByteArray diagnostics = updater.readAllStandardError();
    QVERIFY2(finished, diagnostics.constData());
    // A sanitizer report ends the process with a non-zero code; show it.
    QVERIFY2(updater.exitStatus() == QProcess::NormalExit, diagnostics.constData());
    QVERIFY2(updater.exitCode() == 0, diagnostics.constData());
    QVERIFY2(diagnostics.contains("qttime "), diagnostics.constData());
}

QTEST_GUILESS_MAIN(TestAppExit)
#include "tst_appexit.moc"
