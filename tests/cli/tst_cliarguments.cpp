#include "cli/cliarguments.h"

#include <QTest>

// Command lines as an installer's script would write them, and the mistakes
// people make; nothing here needs a network or a terminal.
class TestCliArguments : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void versionOptions_data();
    void versionOptions();
    void rejected_data();
    void rejected();
    void direct_data();
    void direct();
    void helpRequests_data();
    void helpRequests();
    void helpNamesEveryOption_data();
    void helpNamesEveryOption();
    void report_data();
    void report();
    void history_data();
    void history();
};

Q_DECLARE_METATYPE(CliArguments::Command)

void TestCliArguments::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<CliArguments::Command>("command");
    QTest::addColumn<double>("wait");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QStringList>("addresses");

    const QStringList none;
    QTest::newRow("info") << QStringList{ "info" } << CliArguments::Info << 5.0 << 5 << false
                          << false << none;
    QTest::newRow("info --json") << QStringList{ "info", "--json" } << CliArguments::Info << 5.0
                                 << 5 << true << false << none;
    QTest::newRow("list defaults")
            << QStringList{ "list" } << CliArguments::List << 5.0 << 5 << false << false << none;
    QTest::newRow("list --wait 12 --json")
            << QStringList{ "list", "--wait", "12", "--json" } << CliArguments::List << 12.0 << 5
            << true << false << none;
    QTest::newRow("list --wait=0.5") << QStringList{ "list", "--wait=0.5" } << CliArguments::List
                                     << 0.5 << 5 << false << false << none;
    QTest::newRow("list --wait 0") << QStringList{ "list", "--wait", "0" } << CliArguments::List
                                   << 0.0 << 5 << false << false << none;
    QTest::newRow("list --wait 3600")
            << QStringList{ "list", "--wait", "3600" } << CliArguments::List << 3600.0 << 5 << false
            << false << none;
    QTest::newRow("last --wait wins") << QStringList{ "list", "--wait", "2", "--wait", "9" }
                                      << CliArguments::List << 9.0 << 5 << false << false << none;
    QTest::newRow("update --all") << QStringList{ "update", "--all" } << CliArguments::Update << 5.0
                                  << 5 << false << true << none;
    QTest::newRow("update two addresses, options between")
            << QStringList{ "update",     "10.77.0.10", "--parallel", "2",
                            "10.77.0.11", "--json",     "--wait=8" }
            << CliArguments::Update << 8.0 << 2 << true << false
            << QStringList{ "10.77.0.10", "10.77.0.11" };
    QTest::newRow("addresses keep their order, repeats dropped")
            << QStringList{ "update", "10.0.0.9", "10.0.0.10", "10.0.0.9" } << CliArguments::Update
            << 5.0 << 5 << false << false << QStringList{ "10.0.0.9", "10.0.0.10" };
    QTest::newRow("--parallel=1") << QStringList{ "update", "--all", "--parallel=1" }
                                  << CliArguments::Update << 5.0 << 1 << false << true << none;
    QTest::newRow("--parallel 5 (the most)")
            << QStringList{ "update", "--all", "--parallel", "5" } << CliArguments::Update << 5.0
            << 5 << false << true << none;
    QTest::newRow("-- ends the options")
            << QStringList{ "update", "--json", "--", "192.168.1.20" } << CliArguments::Update
            << 5.0 << 5 << true << false << QStringList{ "192.168.1.20" };
}

void TestCliArguments::accepted()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QTEST(parsed.command, "command");
    QTEST(parsed.waitSeconds, "wait");
    QTEST(parsed.parallel, "parallel");
    QTEST(parsed.json, "json");
    QTEST(parsed.all, "all");
    QTEST(parsed.addresses, "addresses");
}

void TestCliArguments::versionOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("outdated");
    QTest::addColumn<bool>("reinstall");
    QTest::addColumn<bool>("allowOlder");
    QTest::addColumn<bool>("anyModel");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<double>("verifySeconds");

    QTest::newRow("defaults") << QStringList{ "update", "--all" } << false << false << false
                              << false << true << 120.0;
    QTest::newRow("--outdated") << QStringList{ "update", "--outdated" } << true << false << false
                                << false << true << 120.0;
    QTest::newRow("every skip lifted")
            << QStringList{ "update", "10.0.0.1", "--reinstall", "--allow-older", "--any-model" }
            << false << true << true << true << true << 120.0;
    QTest::newRow("--verify-timeout 30")
            << QStringList{ "update", "--all", "--verify-timeout", "30" } << false << false << false
            << false << true << 30.0;
    QTest::newRow("--verify-timeout=0.5")
            << QStringList{ "update", "--outdated", "--verify-timeout=0.5" } << true << false
            << false << false << true << 0.5;
    QTest::newRow("--no-verify") << QStringList{ "update", "--all", "--no-verify" } << false
                                 << false << false << false << false << 120.0;
}

void TestCliArguments::versionOptions()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.command, CliArguments::Update);
    QTEST(parsed.outdated, "outdated");
    QTEST(parsed.reinstall, "reinstall");
    QTEST(parsed.allowOlder, "allowOlder");
    QTEST(parsed.anyModel, "anyModel");
    QTEST(parsed.verify, "verify");
    QTEST(parsed.verifySeconds, "verifySeconds");
}

void TestCliArguments::rejected_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    QTest::newRow("nothing") << QStringList() << "no command given";
    QTest::newRow("unknown command")
            << QStringList{ "flash" }
            << "unknown command 'flash' (the commands are info, list, update and history)";
    QTest::newRow("option before the command")
            << QStringList{ "--json", "list" }
            << "a command must come first (info, list, update or history), not '--json'";
    QTest::newRow("info with an argument")
            << QStringList{ "info", "10.0.0.1" } << "'info' takes no arguments, got '10.0.0.1'";
    QTest::newRow("info --wait") << QStringList{ "info", "--wait", "3" }
                                 << "unknown option '--wait' for 'info'";
    QTest::newRow("list --all") << QStringList{ "list", "--all" }
                                << "unknown option '--all' for 'list'";
    QTest::newRow("list --parallel")
            << QStringList{ "list", "--parallel", "2" } << "unknown option '--parallel' for 'list'";
    QTest::newRow("list with an address")
            << QStringList{ "list", "10.0.0.1" } << "'list' takes no arguments, got '10.0.0.1'";
    QTest::newRow("--wait without value")
            << QStringList{ "list", "--wait" } << "--wait needs a number of seconds";
    QTest::newRow("-wait without value")
            << QStringList{ "list", "-wait" } << "--wait needs a number of seconds";
    QTest::newRow("--wait negative")
            << QStringList{ "list", "--wait", "-1" }
            << "--wait must be a number of seconds from 0 to 3600, not '-1'";
    QTest::newRow("--wait too long")
            << QStringList{ "list", "--wait=3601" }
            << "--wait must be a number of seconds from 0 to 3600, not '3601'";
    QTest::newRow("--wait text") << QStringList{ "list", "--wait", "5s" }
                                 << "--wait must be a number of seconds from 0 to 3600, not '5s'";
    QTest::newRow("--wait nan") << QStringList{ "list", "--wait", "nan" }
                                << "--wait must be a number of seconds from 0 to 3600, not 'nan'";
    QTest::newRow("--wait inf") << QStringList{ "list", "--wait", "inf" }
                                << "--wait must be a number of seconds from 0 to 3600, not 'inf'";
    QTest::newRow("--parallel 0") << QStringList{ "update", "--all", "--parallel", "0" }
                                  << "--parallel must be a whole number from 1 to 5, not '0'";
    QTest::newRow("--parallel 6") << QStringList{ "update", "--all", "--parallel=6" }
                                  << "--parallel must be a whole number from 1 to 5, not '6'";
    QTest::newRow("--parallel 2.5") << QStringList{ "update", "--all", "--parallel", "2.5" }
                                    << "--parallel must be a whole number from 1 to 5, not '2.5'";
    QTest::newRow("--parallel without value") << QStringList{ "update", "--all", "--parallel" }
                                              << "--parallel needs a number of units";
    QTest::newRow("update without units")
            << QStringList{ "update" } << "name the units to update, or give --all or --outdated";
    QTest::newRow("update --all and an address") << QStringList{ "update", "--all", "10.0.0.1" }
                                                 << "give either --all or addresses, not both";
    QTest::newRow("host name") << QStringList{
        "update", "mixer.local"
    } << "'mixer.local' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("three parts") << QStringList{
        "update", "10.77.10"
    } << "'10.77.10' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("leading zero") << QStringList{
        "update", "10.77.0.010"
    } << "'10.77.0.010' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("IPv6") << QStringList{ "update", "fe80::1" }
                          << "'fe80::1' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("out of range") << QStringList{
        "update", "10.0.0.256"
    } << "'10.0.0.256' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("--outdated and --all") << QStringList{ "update", "--outdated", "--all" }
                                          << "give either --all or --outdated, not both";
    QTest::newRow("--outdated and an address") << QStringList{ "update", "--outdated", "10.0.0.1" }
                                               << "give either --outdated or addresses, not both";
    QTest::newRow("--outdated for list")
            << QStringList{ "list", "--outdated" } << "unknown option '--outdated' for 'list'";
    QTest::newRow("--any-model for list")
            << QStringList{ "list", "--any-model" } << "unknown option '--any-model' for 'list'";
    QTest::newRow("--verify-timeout 0") << QStringList{ "update", "--all", "--verify-timeout", "0" }
                                        << "--verify-timeout must be a number of seconds above 0 "
                                           "and at most 3600, not '0'";
    QTest::newRow("--verify-timeout text")
            << QStringList{ "update", "--all", "--verify-timeout=2m" }
            << "--verify-timeout must be a number of seconds above 0 and at most 3600, not '2m'";
    QTest::newRow("--verify-timeout too long")
            << QStringList{ "update", "--all", "--verify-timeout", "3601" }
            << "--verify-timeout must be a number of seconds above 0 and at most 3600, not '3601'";
    QTest::newRow("--verify-timeout without value")
            << QStringList{ "update", "--all", "--verify-timeout" }
            << "--verify-timeout needs a number of seconds";
    QTest::newRow("--no-verify with a timeout")
            << QStringList{ "update", "--all", "--no-verify", "--verify-timeout", "5" }
            << "give either --verify-timeout or --no-verify, not both";
    QTest::newRow("unknown update option") << QStringList{ "update", "--all", "--force" }
                                           << "unknown option '--force' for 'update'";
    QTest::newRow("--report without value") << QStringList{ "update", "--all", "--report" }
                                            << "--report needs a file name ending in .csv or .json";
    QTest::newRow("--report of another kind")
            << QStringList{ "update", "--all", "--report", "run.txt" }
            << "--report needs a file name ending in .csv or .json, not 'run.txt'";
    QTest::newRow("--report without a name")
            << QStringList{ "update", "--all", "--report=" }
            << "--report needs a file name ending in .csv or .json, not ''";
    QTest::newRow("list --report")
            << QStringList{ "list", "--report", "r.csv" } << "unknown option '--report' for 'list'";
    QTest::newRow("history with an argument") << QStringList{ "history", "10.77.0.10" }
                                              << "'history' takes no arguments, got '10.77.0.10'";
    QTest::newRow("history --wait")
            << QStringList{ "history", "--wait", "3" } << "unknown option '--wait' for 'history'";
    QTest::newRow("history --last 0") << QStringList{ "history", "--last", "0" }
                                      << "--last must be a whole number of runs from 1, not '0'";
    QTest::newRow("history --last text")
            << QStringList{ "history", "--last=two" }
            << "--last must be a whole number of runs from 1, not 'two'";
    QTest::newRow("history --last without value")
            << QStringList{ "history", "--last" } << "--last needs a number of runs";
    QTest::newRow("update --last") << QStringList{ "update", "--all", "--last", "2" }
                                   << "unknown option '--last' for 'update'";
    QTest::newRow("--direct without addresses")
            << QStringList{ "update", "--direct" }
            << "--direct needs the addresses of the units to update";
    QTest::newRow("--direct and --all") << QStringList{ "update", "--direct", "--all" }
                                        << "give either --all or --direct, not both";
    QTest::newRow("--direct, --all and an address")
            << QStringList{ "update", "--all", "--direct", "10.0.0.1" }
            << "give either --all or --direct, not both";
    QTest::newRow("--direct with --wait")
            << QStringList{ "update", "--direct", "10.0.0.1", "--wait", "3" }
            << "--wait has no use with --direct: nothing is searched";
    QTest::newRow("--direct, host name")
            << QStringList{ "update", "--direct", "mixer.local" }
            << "'mixer.local' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("--direct, address with a port")
            << QStringList{ "update", "--direct", "10.0.0.1:54726" }
            << "'10.0.0.1:54726' is not an IPv4 address in dotted form (like 192.168.1.20)";
    QTest::newRow("--direct for list")
            << QStringList{ "list", "--direct" } << "unknown option '--direct' for 'list'";
    QTest::newRow("help with two topics")
            << QStringList{ "help", "list", "update" } << "'help' takes at most one command name";
    QTest::newRow("help for no command")
            << QStringList{ "help", "flash" }
            << "no help for 'flash': the commands are info, list, update and history";
}

void TestCliArguments::rejected()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QCOMPARE(parsed.command, CliArguments::Invalid);
    QTEST(parsed.error, "error");
}

// Units the search cannot see: connected to straight away, by address.
void TestCliArguments::direct_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("parallel");
    QTest::newRow("one address") << QStringList{ "update", "--direct", "10.0.40.11" }
                                 << QStringList{ "10.0.40.11" } << 5;
    QTest::newRow("after the addresses, repeats dropped")
            << QStringList{ "update",     "10.0.40.12", "10.0.40.11",
                            "10.0.40.12", "--direct",   "--parallel=2" }
            << QStringList{ "10.0.40.12", "10.0.40.11" } << 2;
}

void TestCliArguments::direct()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.command, CliArguments::Update);
    QVERIFY(parsed.direct);
    QVERIFY(!parsed.all);
    QTEST(parsed.addresses, "addresses");
    QTEST(parsed.parallel, "parallel");
    QVERIFY(!CliArguments::parse({ "update", "10.0.40.11" }).direct);
}

void TestCliArguments::helpRequests_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("topic");

    QTest::newRow("--help") << QStringList{ "--help" } << "";
    QTest::newRow("-h") << QStringList{ "-h" } << "";
    QTest::newRow("help") << QStringList{ "help" } << "";
    QTest::newRow("help update") << QStringList{ "help", "update" } << "update";
    QTest::newRow("info --help") << QStringList{ "info", "--help" } << "info";
    QTest::newRow("list -h") << QStringList{ "list", "-h" } << "list";
    QTest::newRow("update --help") << QStringList{ "update", "--help" } << "update";
    QTest::newRow("help history") << QStringList{ "help", "history" } << "history";
    QTest::newRow("history -h") << QStringList{ "history", "--last", "x", "-h" } << "history";
    // Someone halfway through a wrong line still gets help.
    QTest::newRow("help wins over a mistake")
            << QStringList{ "update", "--parallel", "9", "--help" } << "update";
    // After "--" it is an argument again, and not an address.
    QTest::newRow("--help after --") << QStringList{ "update", "--", "--help" } << "<invalid>";
}

void TestCliArguments::helpRequests()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, topic);
    const CliArguments parsed = CliArguments::parse(arguments);
    if (topic == QLatin1String("<invalid>")) {
        QCOMPARE(parsed.command, CliArguments::Invalid);
        return;
    }
    QCOMPARE(parsed.command, CliArguments::Help);
    QCOMPARE(parsed.helpTopic, topic);
}

void TestCliArguments::helpNamesEveryOption_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("overview") << ""
                              << QStringList{ "Usage: kvx-update COMMAND", "info", "list", "update",
                                              "history" };
    QTest::newRow("info") << "info"
                          << QStringList{ "Usage: kvx-update info", "--json", "--help", "SHA-256" };
    QTest::newRow("list") << "list" << QStringList{ "Usage: kvx-update list",
                                                    "--wait SECONDS",
                                                    "--json",
                                                    "--help",
                                                    "default 5",
                                                    "Exit status" };
    QTest::newRow("update") << "update"
                            << QStringList{ "Usage: kvx-update update (--all | ADDRESS...)",
                                            "--wait SECONDS",
                                            "--parallel N",
                                            "--direct ADDRESS...",
                                            "--json",
                                            "--help",
                                            "KVX_PASSWORD",
                                            "1 to 5",
                                            "default 5",
                                            "Exit status",
                                            "130",
                                            "not found",
                                            "--outdated",
                                            "--reinstall",
                                            "--allow-older",
                                            "--any-model",
                                            "--verify-timeout SECONDS",
                                            "--no-verify",
                                            "default 120",
                                            "--report FILE",
                                            ".json",
                                            "run history" };
    QTest::newRow("history") << "history"
                             << QStringList{ "Usage: kvx-update history [--last N] [--json]",
                                             "--last N",
                                             "--json",
                                             "--help",
                                             "runs.jsonl",
                                             "window" };
}

void TestCliArguments::report_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");
    QTest::newRow("none") << QStringList{ "update", "--all" } << "";
    QTest::newRow("csv") << QStringList{ "update", "--all", "--report", "run.csv" } << "run.csv";
    QTest::newRow("json, with =") << QStringList{ "update", "10.77.0.10", "--report=/tmp/r.JSON" }
                                  << "/tmp/r.JSON";
    QTest::newRow("blanks in the name")
            << QStringList{ "update", "--all", "--report", "my rack.csv" } << "my rack.csv";
    QTest::newRow("the last one counts")
            << QStringList{ "update", "--all", "--report", "a.csv", "--report", "b.json" }
            << "b.json";
}

void TestCliArguments::report()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.command, CliArguments::Update);
    QTEST(parsed.reportPath, "path");
}

void TestCliArguments::history_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("json");
    QTest::newRow("all runs") << QStringList{ "history" } << 0 << false;
    QTest::newRow("--last 3") << QStringList{ "history", "--last", "3" } << 3 << false;
    QTest::newRow("--json --last=1") << QStringList{ "history", "--json", "--last=1" } << 1 << true;
}

void TestCliArguments::history()
{
    QFETCH(QStringList, arguments);
    const CliArguments parsed = CliArguments::parse(arguments);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QCOMPARE(parsed.command, CliArguments::History);
    QTEST(parsed.lastRuns, "last");
    QTEST(parsed.json, "json");
}

void TestCliArguments::helpNamesEveryOption()
{
    QFETCH(QString, topic);
    QFETCH(QStringList, mentions);
    const QString text = CliArguments::helpText(topic);
    for (const QString &m : mentions)
        QVERIFY2(text.contains(m),
                 qPrintable(QStringLiteral("'%1' missing from the help of '%2'").arg(m, topic)));
    // Help goes to a terminal: short lines.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines)
        QVERIFY2(line.size() <= 79, qPrintable(line));
}

QTEST_GUILESS_MAIN(TestCliArguments)
#include "tst_cliarguments.moc"
