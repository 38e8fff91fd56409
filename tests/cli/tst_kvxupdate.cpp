#include "cli/cliarguments.h"
#include "common/isolation.h"
#include "common/programrun.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

// What the search says when no interface can be searched (loopback only).
static const QByteArray kNothingSearched =
        "kvx.discovery: no network interface that is up, can multicast and has an IPv4 "
        "broadcast address: nothing is searched\n";

// The kvx-update program itself, as a script or a person at a terminal meets
// it: exit statuses, what goes to stdout and stderr, the password prompt, and
// Ctrl-C. Runs in a namespace with loopback only, so the searches it starts
// find nothing and reach nobody; units are the lab's business (tst_cli_lab).
class TestKvxUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void info();
    void infoJson();
    void noPasswordWithoutTerminal();
    void listFindsNothing_data();
    void listFindsNothing();
    void namedUnitNotFound();
    void interrupted_data();
    void interrupted();
    void promptOnTerminal();
    void ctrlCAtThePromptRestoresEcho();
    void reportAndHistoryOfARun();
    void reportFolderCheckedFirst_data();
    void reportFolderCheckedFirst();
    void historyWithoutRuns();

private:
    using Run = ProgramRun;
    Run run(const QStringList &arguments, const QByteArray &password = QByteArray("pw-not-used"));

    QString m_program;
    QByteArray m_image;
    QString m_dataHome; // XDG_DATA_HOME of the runs, when set
};

void TestKvxUpdate::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
    m_program = qEnvironmentVariable("KVX_CLI");
    if (m_program.isEmpty() || !QFile::exists(m_program))
        QSKIP("KVX_CLI does not name the kvx-update program (run through ctest)");
    QFile image(qEnvironmentVariable("KVX_IMAGE_PATH"));
    QVERIFY(image.open(QIODevice::ReadOnly));
    m_image = image.readAll();
}

TestKvxUpdate::Run TestKvxUpdate::run(const QStringList &arguments, const QByteArray &password)
{
    ProgramCall call;
    call.command = QStringList{ m_program } + arguments;
    call.unsetEnv = QStringList{ QStringLiteral("KVX_PASSWORD") };
    if (!m_dataHome.isEmpty())
        call.setEnv << QStringLiteral("XDG_DATA_HOME=") + m_dataHome;
    if (!password.isNull())
        call.setEnv << QStringLiteral("KVX_PASSWORD=") + QString::fromUtf8(password);
    call.newSession = true;
    return runProgram(call);
}

void TestKvxUpdate::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    QTest::newRow("no command") << QStringList() << "no command given";
    QTest::newRow("six at once") << QStringList{ "update", "--all", "--parallel", "6" }
                                 << "--parallel must be a whole number from 1 to 5, not '6'";
    QTest::newRow("all and an address") << QStringList{ "update", "--all", "10.77.0.10" }
                                        << "give either --all or addresses, not both";
    QTest::newRow("host name") << QStringList{
        "update", "rack1"
    } << "'rack1' is not an IPv4 address in dotted form (like 192.168.1.20)";
    // Checked before anything is sent: no search, no connection.
    QTest::newRow("direct, not an address")
            << QStringList{ "update", "--direct", "10.77.0.10", "10.77.0" }
            << "'10.77.0' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("direct and all") << QStringList{ "update", "--direct", "--all" }
                                    << "give either --all or --direct, not both";
}

void TestKvxUpdate::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const Run r = run(arguments);
    QCOMPARE(r.status, 2);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(QString::fromUtf8(r.err),
             QStringLiteral("kvx-update: %1\nTry 'kvx-update --help'.\n").arg(error));
}

void TestKvxUpdate::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("topic");
    QTest::newRow("--help") << QStringList{ "--help" } << "";
    QTest::newRow("help list") << QStringList{ "help", "list" } << "list";
    QTest::newRow("update --help") << QStringList{ "update", "--help" } << "update";
    QTest::newRow("info -h") << QStringList{ "info", "-h" } << "info";
}

void TestKvxUpdate::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, topic);
    const Run r = run(arguments);
    QCOMPARE(r.status, 0);
    QCOMPARE(QString::fromUtf8(r.out), CliArguments::helpText(topic));
    QCOMPARE(r.err, QByteArray());
}

void TestKvxUpdate::info()
{
    const Run r = run({ QStringLiteral("info") });
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    // The placeholder and the vendor image share the header of the shipped one.
    const QByteArray sha = QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex();
    QCOMPARE(r.out,
             "model:   VK-3F\nversion: 1.04\nbuild:   0119\nsize:    "
                     + QByteArray::number(m_image.size()) + " bytes\nsha256:  " + sha
                     + "\ndomain:  " KVX_MAKER_DOMAIN "\n");
}

void TestKvxUpdate::infoJson()
{
    const Run r = run({ QStringLiteral("info"), QStringLiteral("--json") });
    QCOMPARE(r.status, 0);
    const QJsonObject object = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(object.value("model").toString(), QStringLiteral("VK-3F"));
    QCOMPARE(object.value("version").toString(), QStringLiteral("1.04"));
    QCOMPARE(object.value("build").toString(), QStringLiteral("0119"));
    QCOMPARE(object.value("size").toDouble(), double(m_image.size()));
    QCOMPARE(object.value("sha256").toString().toLatin1(),
             QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex());
    QCOMPARE(object.value("makerDomain").toString(), QStringLiteral(KVX_MAKER_DOMAIN));
    QCOMPARE(object.keys(),
             (QStringList{ "build", "makerDomain", "model", "sha256", "size", "version" }));
}

void TestKvxUpdate::noPasswordWithoutTerminal()
{
    QElapsedTimer clock;
    clock.start();
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"), QStringLiteral("--wait"),
                        QStringLiteral("30") },
                      QByteArray());
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, QByteArray("kvx-update: no password: set KVX_PASSWORD or run on a terminal\n"));
    QCOMPARE(r.out, QByteArray()); // it stopped before searching
    QVERIFY(clock.elapsed() < 20000);
}

void TestKvxUpdate::listFindsNothing_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("table") << false;
    QTest::newRow("json") << true;
}

void TestKvxUpdate::listFindsNothing()
{
    QFETCH(bool, json);
    QStringList arguments{ QStringLiteral("list"), QStringLiteral("--wait"),
                           QStringLiteral("0.3") };
    if (json)
        arguments << QStringLiteral("--json");
    const Run r = run(arguments);
    QCOMPARE(r.status, 2);
    // The suite's namespace has only loopback, so nothing can be searched:
    // that is said, whatever the output format, before the verdict.
    if (json) {
        QCOMPARE(r.out, QByteArray("[]\n"));
        QCOMPARE(r.err, kNothingSearched);
    } else {
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, kNothingSearched + "kvx-update: no units found\n");
    }
}

void TestKvxUpdate::namedUnitNotFound()
{
    const QByteArray password("Tr1cky-Pa55word");
    const Run r = run({ QStringLiteral("update"), QStringLiteral("10.77.0.99"),
                        QStringLiteral("--wait"), QStringLiteral("0.5"), QStringLiteral("--json") },
                      password);
    QCOMPARE(r.status, 2);
    QCOMPARE(r.err, kNothingSearched);
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    const QJsonObject summary = QJsonDocument::fromJson(lines.last()).object();
    QCOMPARE(summary.value("event").toString(), QStringLiteral("summary"));
    QCOMPARE(summary.value("notFound").toInt(), 1);
    QCOMPARE(summary.value("exitStatus").toInt(), 2);
    QVERIFY(!r.out.contains(password));
}

void TestKvxUpdate::interrupted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("said");

    QTest::newRow("update, Ctrl-C while searching")
            << QStringList{ "update", "--all", "--wait", "60" } << int(SIGINT) << 130
            << QByteArray("Interrupted while searching: no unit is started.");
    QTest::newRow("update, SIGTERM while searching")
            << QStringList{ "update", "10.77.0.10", "--wait", "60" } << int(SIGTERM) << 143
            << QByteArray("Interrupted while searching: no unit is started.");
    QTest::newRow("update, SIGHUP (the remote shell closed)")
            << QStringList{ "update", "--all", "--wait", "60" } << int(SIGHUP) << 129
            << QByteArray("Interrupted while searching: no unit is started.");
    QTest::newRow("list, Ctrl-C") << QStringList{ "list", "--wait", "60", "--json" } << int(SIGINT)
                                  << 130 << QByteArray("[]\n");
}

void TestKvxUpdate::interrupted()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, signalNumber);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KVX_PASSWORD"), QStringLiteral("pw"));
    process.setProcessEnvironment(env);
    process.start(m_program, arguments);
    QVERIFY(process.waitForStarted());
    // Give it time to install its handlers and begin the search.
    QByteArray out;
    if (arguments.first() == QLatin1String("update")) {
        QTRY_VERIFY_WITH_TIMEOUT(
                (out += process.readAllStandardOutput()).contains("searching for units"), 10000);
    } else {
        QTest::qWait(500);
    }
    ::kill(pid_t(process.processId()), signalNumber);
    QVERIFY(process.waitForFinished(10000));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QTEST(process.exitCode(), "status");
    QFETCH(QByteArray, said);
    QVERIFY2(out.contains(said), out.constData());
}

namespace {

// Reads from the terminal's master side until `until` has appeared or the
// child has closed its side.
QByteArray readPty(int master, const QByteArray &until, int timeoutMs)
{
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && (until.isEmpty() || !data.contains(until))) {
        struct pollfd p = { master, POLLIN, 0 };
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO: the child is gone
        data.append(buffer, int(n));
    }
    return data;
}

bool echoIsOn(int master)
{
    struct termios t;
    return tcgetattr(master, &t) == 0 && (t.c_lflag & ECHO);
}

pid_t startOnTerminal(const QString &program, const QStringList &arguments, int *master)
{
    QList<QByteArray> args{ program.toLocal8Bit() };
    for (const QString &a : arguments)
        args << a.toLocal8Bit();
    const pid_t pid = forkpty(master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::unsetenv("KVX_PASSWORD");
        std::vector<char *> argv;
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

void TestKvxUpdate::promptOnTerminal()
{
    int master = -1;
    const pid_t pid = startOnTerminal(m_program,
                                      { QStringLiteral("update"), QStringLiteral("10.77.0.99"),
                                        QStringLiteral("--wait"), QStringLiteral("0.5") },
                                      &master);
    QVERIFY(pid > 0);
    QByteArray seen = readPty(master, "Password for the units: ", 10000);
    QVERIFY2(seen.endsWith("Password for the units: "), seen.constData());
    QVERIFY(!echoIsOn(master));

    const QByteArray password("Sh0w-Me-Not");
    QCOMPARE(::write(master, password + "\n", size_t(password.size() + 1)),
             ssize_t(password.size() + 1));
    seen += readPty(master, "Searching for units", 10000);
    // Echo is back once the prompt is done, before anything else happens.
    QVERIFY(echoIsOn(master));
    seen += readPty(master, QByteArray(), 20000);

    int status = 0;
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    ::close(master);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 2); // the named unit was not found
    QVERIFY2(!seen.contains(password), seen.constData());
    QVERIFY(seen.contains("not found"));
}

void TestKvxUpdate::ctrlCAtThePromptRestoresEcho()
{
    int master = -1;
    const pid_t pid = startOnTerminal(
            m_program, { QStringLiteral("update"), QStringLiteral("--all") }, &master);
    QVERIFY(pid > 0);
    const QByteArray seen = readPty(master, "Password for the units: ", 10000);
    QVERIFY2(seen.endsWith("Password for the units: "), seen.constData());
    QVERIFY(!echoIsOn(master));

    QCOMPARE(::write(master, "half\x03", 5), ssize_t(5)); // typing, then Ctrl-C
    int status = 0;
    QElapsedTimer clock;
    clock.start();
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && clock.elapsed() < 10000)
        QTest::qWait(20);
    QCOMPARE(done, pid);
    QVERIFY(echoIsOn(master));
    ::close(master);
    // It ends the way Ctrl-C ends any program, so a calling shell sees 130.
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGINT);
}

void TestKvxUpdate::reportAndHistoryOfARun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_dataHome = dir.filePath(QStringLiteral("data"));
    const QString report = dir.filePath(QStringLiteral("rack, \"one\".csv"));
    const Run r =
            run({ QStringLiteral("update"), QStringLiteral("10.77.0.99"), QStringLiteral("--wait"),
                  QStringLiteral("0.5"), QStringLiteral("--report"), report });
    QCOMPARE(r.status, 2);
    QVERIFY2(r.out.endsWith(QStringLiteral("Report written to %1\n").arg(report).toUtf8()),
             r.out.constData());

    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows.at(0).startsWith("\xEF\xBB\xBFRun started,Started,Ended,Address,"));
    QVERIFY2(rows.at(1).contains(",10.77.0.99,,,,,not found,the unit did not answer the search,"),
             rows.at(1).constData());

    // The same unit in the history, in the data folder the programs share.
    QVERIFY(QFile::exists(m_dataHome + QStringLiteral("/kvx-updater/runs.jsonl")));
    const Run history = run({ QStringLiteral("history") });
    QCOMPARE(history.status, 0);
    QCOMPARE(history.err, QByteArray());
    QVERIFY2(history.out.startsWith("Run of "), history.out.constData());
    QVERIFY2(history.out.contains(" by kvx-update 1.0, image "), history.out.constData());
    QVERIFY2(history.out.contains(": 1 not found\n"), history.out.constData());
    QVERIFY2(history.out.contains("10.77.0.99"), history.out.constData());
    const Run json = run({ QStringLiteral("history"), QStringLiteral("--json") });
    QCOMPARE(json.status, 0);
    const QJsonArray records = QJsonDocument::fromJson(json.out).array();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).toObject().value("result").toString(), QStringLiteral("not found"));
    QCOMPARE(records.at(0).toObject().value("imageSha256").toString(),
             QString::fromLatin1(
                     QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex()));
    m_dataHome.clear();
}

void TestKvxUpdate::reportFolderCheckedFirst_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("why");
    QTest::newRow("missing folder") << "/nonexistent-kvx/r.csv"
                                    << "the folder /nonexistent-kvx does not exist";
    QTest::newRow("a folder") << ""
                              << "it is a folder";
#ifdef Q_OS_LINUX
    // Its permission bits let root in; only creating a file tells.
    QTest::newRow("a folder that takes no file")
            << "/proc/r.csv"
            << "the folder /proc cannot be written in: No such file or directory";
#endif
}

void TestKvxUpdate::reportFolderCheckedFirst()
{
    QFETCH(QString, report);
    QFETCH(QString, why);
    QTemporaryDir dir;
    if (report.isEmpty()) {
        // A folder with a report's name.
        report = dir.filePath(QStringLiteral("old.json"));
        QVERIFY(QDir().mkpath(report));
    }
    // No password either: the report is checked before anything else.
    const Run r = run({ QStringLiteral("update"), QStringLiteral("--all"),
                        QStringLiteral("--report"), report },
                      QByteArray());
    QCOMPARE(r.status, 2);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(QString::fromUtf8(r.err),
             QStringLiteral("kvx-update: cannot write the report to %1: %2\n").arg(report, why));
}

void TestKvxUpdate::historyWithoutRuns()
{
    QTemporaryDir dir;
    m_dataHome = dir.filePath(QStringLiteral("empty"));
    const Run r = run({ QStringLiteral("history"), QStringLiteral("--last"), QStringLiteral("3") });
    QCOMPARE(r.status, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral("No runs recorded yet (%1/kvx-updater/runs.jsonl).\n").arg(m_dataHome));
    m_dataHome.clear();
}

QTEST_GUILESS_MAIN(TestKvxUpdate)
#include "tst_kvxupdate.moc"
