// kvx-update.exe, built for Windows, under Wine: what a script reads through
// pipes (exact bytes, so no "\r\n" from the C library), and what a person sees
// on a console: the password prompt without echo, the live display through
// the console's escape sequences, and Ctrl-C through the console control
// handler. Run by tools/windows/test.sh inside a network namespace with
// loopback only, so the searches find nothing and reach nobody.
#include "cli/cliarguments.h"
#include "common/isolation.h"
#include "winerun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>

class TestKvxUpdateWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void streams_data();
    void streams();
    void plainLinesIntoAPipe();
    void promptOnConsole();
    void liveDisplayOnConsole();
    void ctrlC_data();
    void ctrlC();

private:
    QString m_program;
    QByteArray m_image;
};

namespace {

// Diagnostics of the search on the console: once they show, the program's
// interruption handler is in place (it is set up before the search starts).
// Wine hands QT_ variables to Windows programs only under the name WINEQT_;
// and its consoles have no window, which Qt takes for no console at all.
const QStringList kSearchDiagnostics{ QStringLiteral(
                                              "WINEQT_LOGGING_RULES=kvx.discovery.debug=true"),
                                      QStringLiteral("WINEQT_FORCE_STDERR_LOGGING=1") };

} // namespace

void TestKvxUpdateWine::initTestCase()
{
    // "list" and "update" search on every interface.
    KVX_REQUIRE_ISOLATED_NETWORK();
    m_program = qEnvironmentVariable("KVX_WINDOWS_CLI");
    if (m_program.isEmpty() || !QFile::exists(m_program))
        QSKIP("KVX_WINDOWS_CLI does not name kvx-update.exe (run through tools/windows/test.sh)");
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_image = image.readAll();
}

void TestKvxUpdateWine::streams_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("no command") << QStringList() << 2 << QByteArray()
                                << QByteArray("kvx-update: no command given\n"
                                              "Try 'kvx-update --help'.\n");
    QTest::newRow("help") << QStringList{ "--help" } << 0
                          << CliArguments::helpText(QString()).toUtf8() << QByteArray();
    QTest::newRow("update without a password or a console")
            << QStringList{ "update", "--all", "--wait", "30" } << 2 << QByteArray()
            << QByteArray("kvx-update: no password: set KVX_PASSWORD or run on a terminal\n");
}

void TestKvxUpdateWine::streams()
{
    QFETCH(QStringList, arguments);
    const WineRun r = runUnderWine(m_program, arguments);
    QTEST(r.status, "status");
    QTEST(r.out, "out");
    QTEST(r.err, "err");
}

void TestKvxUpdateWine::plainLinesIntoAPipe()
{
    const WineRun info = runUnderWine(m_program, { QStringLiteral("info") });
    QCOMPARE(info.status, 0);
    const QByteArray sha = QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex();
    QCOMPARE(info.out,
             "model:   VK-3F\nversion: 1.04\nbuild:   0119\nsize:    "
                     + QByteArray::number(m_image.size()) + " bytes\nsha256:  " + sha
                     + "\ndomain:  " KVX_MAKER_DOMAIN "\n");

    const WineRun r = runUnderWine(m_program,
                                   { QStringLiteral("update"), QStringLiteral("--all"),
                                     QStringLiteral("--wait"), QStringLiteral("0.5") },
                                   { QStringLiteral("KVX_PASSWORD=pw") });
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, QByteArray());
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 6);
    const QRegularExpression stamped(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) - (.*)$"));
    const QStringList said{ QStringLiteral("image VK-3F 1.04 (build0119), %1 bytes, SHA-256 %2")
                                    .arg(m_image.size())
                                    .arg(QString::fromLatin1(sha)),
                            QStringLiteral("searching for units (0.5 s)"),
                            QStringLiteral("0 units found") };
    for (int i = 0; i < said.size(); ++i) {
        const QRegularExpressionMatch match = stamped.match(QString::fromUtf8(lines.at(i)));
        QVERIFY2(match.hasMatch(), lines.at(i).constData());
        QCOMPARE(match.captured(2), said.at(i));
    }
    QCOMPARE(lines.mid(3),
             (QList<QByteArray>{ "", "Summary: no units found, nothing updated", "" }));
}

void TestKvxUpdateWine::promptOnConsole()
{
    WineConsole console;
    QVERIFY(console.start(m_program,
                          { QStringLiteral("update"), QStringLiteral("10.77.0.99"),
                            QStringLiteral("--wait"), QStringLiteral("0.5") }));
    QVERIFY2(console.readUntil("Password for the units: ", 30000)
                     .contains("Password for the units: "),
             console.seen().constData());
    QVERIFY(console.waitUntilReading(10000));
    const QByteArray password("Sh0w-Me-Not");
    QVERIFY(console.type(password + "\r"));
    QVERIFY2(console.readUntil("Searching for units", 20000).contains("Searching for units"),
             console.seen().constData());
    QCOMPARE(console.wait(30000), 2); // the named unit was not found
    QVERIFY2(!console.seen().contains(password), console.seen().constData());
    QVERIFY2(console.seen().contains("not found"), console.seen().constData());
}

// On a console with escape sequences the live display runs: its status line
// is drawn nowhere else, and the search is announced in the console's words.
void TestKvxUpdateWine::liveDisplayOnConsole()
{
    WineConsole console;
    QVERIFY(console.start(m_program,
                          { QStringLiteral("update"), QStringLiteral("--all"),
                            QStringLiteral("--wait"), QStringLiteral("2") },
                          "pw"));
    QCOMPARE(console.wait(30000), 2);
    const QByteArray seen = console.seen();
    QVERIFY2(seen.contains("Searching for units (2 s)..."), seen.constData());
    QVERIFY2(seen.contains("0 running, 0 waiting, 0 of 0 done"), seen.constData());
    QVERIFY2(seen.contains("Summary: no units found, nothing updated"), seen.constData());
}

void TestKvxUpdateWine::ctrlC_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("ready");
    QTest::addColumn<QByteArray>("said");

    QTest::newRow("update, while searching")
            << QStringList{ "update", "--all", "--wait", "60" } << QByteArray("pw")
            << QByteArray("kvx.discovery:")
            << QByteArray("Interrupted while searching: no unit is started.");
    QTest::newRow("list") << QStringList{ "list", "--wait", "60", "--json" } << QByteArray("pw")
                          << QByteArray("kvx.discovery:") << QByteArray("[]");
    // Typed, then Ctrl-C: nothing of it shows, and the program ends at once.
    QTest::newRow("at the prompt") << QStringList{ "update", "--all" } << QByteArray()
                                   << QByteArray("Password for the units: ") << QByteArray();
}

void TestKvxUpdateWine::ctrlC()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, ready);
    QFETCH(QByteArray, said);
    WineConsole console;
    QVERIFY(console.start(m_program, arguments, password, kSearchDiagnostics));
    QVERIFY2(console.readUntil(ready, 30000).contains(ready), console.seen().constData());
    if (password.isNull()) {
        QVERIFY(console.waitUntilReading(10000));
        QVERIFY(console.type("half"));
    }
    QVERIFY(console.type("\x03"));
    QCOMPARE(console.wait(20000), 130);
    QVERIFY2(console.seen().contains(said), console.seen().constData());
    QVERIFY2(!console.seen().contains("half"), console.seen().constData());
}

QTEST_GUILESS_MAIN(TestKvxUpdateWine)
#include "tst_kvxupdate_wine.moc"
