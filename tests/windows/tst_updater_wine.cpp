// kvx-updater.exe, built for Windows, under Wine: the window loads and shows
// the version line, and the program ends with status 0 when the window is
// closed. Once from the build folder with Qt's offscreen platform, and once
// from the portable package on a display, in a fresh Wine prefix with no path
// to the cross-compiler's or Qt's DLLs: every library it loads must come out
// of the package. Run by tools/windows/test.sh inside a network namespace.
//
// What the window shows is read by a probe that Qt loads into the program
// like any input plug-in (windowprobe.cpp), so the program is the shipped one.
#include "app/x11close.h"
#include "common/isolation.h"
#include "winerun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

class TestUpdaterWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void offscreenWindow();
    void packageRunsOnItsOwn();

private:
    // Each line of the probe's report, in order.
    QStringList report() const;
    QString windowsPath(const QString &path) const { return QStringLiteral("Z:") + path; }

    QString m_probeDir;
    QTemporaryDir m_work;
    QProcess m_xvfb;
    QByteArray m_display;
    QByteArray m_image;
};

namespace {

const QString kTitle = QStringLiteral("VORANT KVX Series Firmware Updater");
const QString kVersionLine = QStringLiteral("TO VERSION: 1.04 (build0119)");

} // namespace

void TestUpdaterWine::initTestCase()
{
    // The window searches on every interface as soon as it opens.
    KVX_REQUIRE_ISOLATED_NETWORK();
    const QString updater = qEnvironmentVariable("KVX_WINDOWS_UPDATER");
    if (updater.isEmpty() || !QFile::exists(updater))
        QSKIP("KVX_WINDOWS_UPDATER does not name kvx-updater.exe (run through "
              "tools/windows/test.sh)");
    m_probeDir = qEnvironmentVariable("KVX_WINDOWS_PROBE_DIR");
    QVERIFY2(QFile::exists(m_probeDir + QStringLiteral("/generic/kvxwindowprobe.dll")),
             "KVX_WINDOWS_PROBE_DIR holds no generic/kvxwindowprobe.dll");
    QVERIFY(m_work.isValid());
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_image = image.readAll();
}

void TestUpdaterWine::cleanupTestCase()
{
    // The fresh prefix's server and services end here, in this namespace,
    // whether or not its case passed (its folder goes with m_work).
    const QString prefix = m_work.filePath(QStringLiteral("prefix"));
    if (QFileInfo::exists(prefix)) {
        QProcess server;
        QProcessEnvironment serverEnv = QProcessEnvironment::systemEnvironment();
        serverEnv.insert(QStringLiteral("WINEPREFIX"), prefix);
        server.setProcessEnvironment(serverEnv);
        server.start(QStringLiteral("wineserver"), { QStringLiteral("-k") });
        server.waitForFinished(10000);
    }
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished(5000);
    }
}

QStringList TestUpdaterWine::report() const
{
    QFile file(m_work.filePath(QStringLiteral("report.txt")));
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestUpdaterWine::offscreenWindow()
{
    // Wine hands QT_ variables to Windows programs only as WINEQT_. The
    // offscreen platform draws with fonts from a folder, not from Windows.
    const WineRun r =
            runUnderWine(qEnvironmentVariable("KVX_WINDOWS_UPDATER"), QStringList(),
                         { QStringLiteral("WINEQT_QPA_PLATFORM=offscreen"),
                           QStringLiteral("WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/truetype/dejavu"),
                           QStringLiteral("WINEQT_FORCE_STDERR_LOGGING=1"),
                           QStringLiteral("WINEQT_QPA_GENERIC_PLUGINS=kvxwindowprobe"),
                           QStringLiteral("WINEQT_PLUGIN_PATH=") + windowsPath(m_probeDir),
                           QStringLiteral("KVX_PROBE_REPORT=")
                                   + windowsPath(m_work.filePath(QStringLiteral("report.txt"))) });
    QVERIFY2(r.status == 0, r.err.constData());
    const QStringList lines = report();
    QVERIFY2(lines.size() >= 4, r.err.constData());
    QCOMPARE(lines.mid(0, 4),
             (QStringList{ QStringLiteral("title ") + kTitle, QStringLiteral("size 480x700"),
                           QStringLiteral("text ") + kTitle,
                           QStringLiteral("text ") + kVersionLine }));
    // The window's first line of its own, and no QML warning before it.
    QVERIFY2(r.err.contains("qml: qttime "), r.err.constData());
    QVERIFY2(!r.err.contains("qrc:"), r.err.constData());
}

void TestUpdaterWine::packageRunsOnItsOwn()
{
    const QString zip = qEnvironmentVariable("KVX_WINDOWS_PACKAGE");
    if (zip.isEmpty())
        QSKIP("KVX_WINDOWS_PACKAGE does not name the package");
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    QVERIFY2(!xvfb.isEmpty(), "Xvfb is not installed");

    QProcess unzip;
    unzip.start(QStringLiteral("unzip"),
                { QStringLiteral("-q"), zip, QStringLiteral("-d"),
                  m_work.filePath(QStringLiteral("unpacked")) });
    QVERIFY(unzip.waitForFinished(60000));
    QCOMPARE(unzip.exitCode(), 0);
    const QStringList top = QDir(m_work.filePath(QStringLiteral("unpacked")))
                                    .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(top.size(), 1);
    QVERIFY(top.first().endsWith(QLatin1String("-win64")));
    const QString folder = m_work.filePath(QStringLiteral("unpacked/") + top.first());

    // A display for the platform that ships (qwindows); Wine's desktop
    // process starts with the prefix and keeps the display it found then.
    m_display = ":" + QByteArray::number(70 + QCoreApplication::applicationPid() % 200);
    m_xvfb.start(xvfb,
                 { QString::fromLatin1(m_display), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("800x900x24") });
    QVERIFY(m_xvfb.waitForStarted());
    QTest::qWait(500);
    QCOMPARE(m_xvfb.state(), QProcess::Running);

    // A prefix of its own that has never seen Qt or MinGW, and no WINEPATH.
    const QString prefix = m_work.filePath(QStringLiteral("prefix"));
    const QStringList clean{ QStringLiteral("WINEPREFIX=") + prefix, QStringLiteral("WINEPATH="),
                             QStringLiteral("WINEDLLOVERRIDES=mscoree,mshtml="),
                             QStringLiteral("DISPLAY=") + QString::fromLatin1(m_display) };
    const WineRun boot =
            runUnderWine(QStringLiteral("wineboot"), { QStringLiteral("-i") }, clean, 180000);
    QVERIFY2(boot.status == 0, boot.err.constData());

    const WineRun info = runUnderWine(folder + QStringLiteral("/kvx-update.exe"),
                                      { QStringLiteral("info") }, clean);
    QCOMPARE(info.status, 0);
    const QByteArray sha = QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex();
    QVERIFY2(info.out.contains("\nsha256:  " + sha + "\n"), info.out.constData());

    QProcess updater;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &e : clean)
        env.insert(e.section(QLatin1Char('='), 0, 0), e.section(QLatin1Char('='), 1));
    env.remove(QStringLiteral("WINEPATH"));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all,+loaddll"));
    env.insert(QStringLiteral("WINEQT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.insert(QStringLiteral("WINEQT_QPA_GENERIC_PLUGINS"), QStringLiteral("kvxwindowprobe"));
    env.insert(QStringLiteral("WINEQT_PLUGIN_PATH"), windowsPath(m_probeDir));
    env.insert(QStringLiteral("KVX_PROBE_REPORT"),
               windowsPath(m_work.filePath(QStringLiteral("report.txt"))));
    env.insert(QStringLiteral("KVX_PROBE_KEEP"), QStringLiteral("1"));
    QFile::remove(m_work.filePath(QStringLiteral("report.txt")));
    updater.setProcessEnvironment(env);
    // Into a file: nobody reads a pipe while the window is looked for.
    const QString errFile = m_work.filePath(QStringLiteral("updater-stderr.txt"));
    updater.setStandardErrorFile(errFile);
    updater.start(QStringLiteral("wine"), { folder + QStringLiteral("/kvx-updater.exe") });
    QVERIFY(updater.waitForStarted());

    // Closed as a window manager's close button does; Wine passes it on to
    // the program as the Windows close message.
    if (!requestX11WindowClose(m_display, kTitle, 60000)) {
        QFile late(errFile);
        late.open(QIODevice::ReadOnly);
        QFAIL(qPrintable(QStringLiteral("no window on the display; the program said: ")
                         + QString::fromUtf8(late.readAll())));
    }
    const bool finished = updater.waitForFinished(30000);
    QFile errors(errFile);
    QVERIFY(errors.open(QIODevice::ReadOnly));
    const QByteArray err = errors.readAll();
    QVERIFY2(finished, err.constData());
    QCOMPARE(updater.exitStatus(), QProcess::NormalExit);
    QVERIFY2(updater.exitCode() == 0, err.constData());

    const QStringList lines = report();
    QVERIFY2(lines.size() >= 4, err.constData());
    QCOMPARE(lines.at(0), QStringLiteral("title ") + kTitle);
    QCOMPARE(lines.at(3), QStringLiteral("text ") + kVersionLine);
    QVERIFY2(err.contains("qml: qttime "), err.constData());

    // Every Qt, MinGW and plug-in library came from the package (the probe
    // from its own folder): Wine's loader names each one it loads.
    const QString packagePath = windowsPath(folder).replace(QLatin1Char('/'), QLatin1Char('\\'));
    int fromPackage = 0;
    for (const QByteArray &line : err.split('\n')) {
        const int at = line.indexOf("Loaded L\"");
        if (at < 0)
            continue;
        QString path = QString::fromUtf8(line.mid(at + 9));
        path = path.left(path.indexOf(QLatin1Char('"')))
                       .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        if (path.contains(QLatin1String("windows\\system32"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String("kvxwindowprobe.dll")))
            continue;
        QVERIFY2(path.startsWith(packagePath, Qt::CaseInsensitive), qPrintable(path));
        ++fromPackage;
    }
    QVERIFY2(fromPackage >= 15, err.constData()); // Qt, MinGW, platform, image and QML plug-ins
}

QTEST_GUILESS_MAIN(TestUpdaterWine)
#include "tst_updater_wine.moc"
