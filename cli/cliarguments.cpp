#include "cli/cliarguments.h"

#include "core/runreport.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHostAddress>

#include <cmath>

namespace {

CliArguments invalid(const QString &error)
{
    CliArguments result;
    result.command = CliArguments::Invalid;
    result.error = error;
    return result;
}

bool isHelpOption(const QString &argument)
{
    return argument == QLatin1String("-h") || argument == QLatin1String("--help");
}

bool parseWait(const QString &text, double *seconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > CliArguments::kMaxWaitSeconds)
        return false;
    *seconds = value;
    return true;
}

bool parseVerifySeconds(const QString &text, double *seconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > CliArguments::kMaxVerifySeconds)
        return false;
    *seconds = value;
    return true;
}

bool parseLastRuns(const QString &text, int *runs)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1)
        return false;
    *runs = value;
    return true;
}

bool parseParallel(const QString &text, int *parallel)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > CliArguments::kMaxParallel)
        return false;
    *parallel = value;
    return true;
}

// Only the plain dotted form is accepted, because the device table keys units
// by exactly that text: "10.77.0.010" or "10.77.10" would never match a unit.
bool isDottedIPv4(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
            && address.toString() == text;
}

// The argument as typed that carries the option `name`, for error texts:
// "--force=1" rather than the parser's "force".
QString typedOption(const QStringList &arguments, const QString &name)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        const QString bare = argument.section(QLatin1Char('='), 0, 0);
        if (bare == QLatin1String("--") + name || bare == QLatin1Char('-') + name)
            return argument;
    }
    return QLatin1String("--") + name;
}

// The options of each command, as the parser knows them.
struct CommandOptions
{
    QCommandLineOption help{ { QStringLiteral("h"), QStringLiteral("help") } };
    QCommandLineOption json{ QStringLiteral("json") };
    QCommandLineOption wait{ QStringLiteral("wait"), QString(), QStringLiteral("SECONDS") };
    QCommandLineOption parallel{ QStringLiteral("parallel"), QString(), QStringLiteral("N") };
    QCommandLineOption all{ QStringLiteral("all") };
    QCommandLineOption report{ QStringLiteral("report"), QString(), QStringLiteral("FILE") };
    QCommandLineOption last{ QStringLiteral("last"), QString(), QStringLiteral("N") };
    QCommandLineOption direct{ QStringLiteral("direct") };
    QCommandLineOption outdated{ QStringLiteral("outdated") };
    QCommandLineOption reinstall{ QStringLiteral("reinstall") };
    QCommandLineOption allowOlder{ QStringLiteral("allow-older") };
    QCommandLineOption anyModel{ QStringLiteral("any-model") };
    QCommandLineOption verifyTimeout{ QStringLiteral("verify-timeout"), QString(),
                                      QStringLiteral("SECONDS") };
    QCommandLineOption noVerify{ QStringLiteral("no-verify") };

    void addTo(QCommandLineParser *parser, CliArguments::Command command) const
    {
        parser->addOption(help);
        parser->addOption(json);
        if (command == CliArguments::List || command == CliArguments::Update)
            parser->addOption(wait);
        if (command == CliArguments::Update) {
            parser->addOption(parallel);
            parser->addOption(all);
            parser->addOption(report);
            parser->addOption(direct);
            parser->addOption(outdated);
            parser->addOption(reinstall);
            parser->addOption(allowOlder);
            parser->addOption(anyModel);
            parser->addOption(verifyTimeout);
            parser->addOption(noVerify);
        }
        if (command == CliArguments::History)
            parser->addOption(last);
    }
};

// What to say when the line ends with an option that takes a value, typed
// "--wait" or "-wait": the parser only knows a value is missing. Empty when
// the line ends otherwise.
QString missingValueText(const QStringList &arguments)
{
    static const QList<QPair<QString, QString>> texts{
        { QStringLiteral("wait"), QStringLiteral("--wait needs a number of seconds") },
        { QStringLiteral("parallel"), QStringLiteral("--parallel needs a number of units") },
        { QStringLiteral("verify-timeout"),
          QStringLiteral("--verify-timeout needs a number of seconds") },
        { QStringLiteral("report"),
          QStringLiteral("--report needs a file name ending in .csv or .json") },
        { QStringLiteral("last"), QStringLiteral("--last needs a number of runs") },
    };
    QString last = arguments.isEmpty() ? QString() : arguments.last();
    if (!last.startsWith(QLatin1Char('-')))
        return QString();
    last.remove(0, last.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const auto &text : texts) {
        if (last == text.first)
            return text.second;
    }
    return QString();
}

} // namespace

CliArguments CliArguments::parse(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return invalid(QStringLiteral("no command given"));

    const QString command = arguments.first();
    if (isHelpOption(command)) {
        CliArguments result;
        result.command = Help;
        return result;
    }
    if (command == QLatin1String("help")) {
        CliArguments result;
        result.command = Help;
        if (arguments.size() > 2)
            return invalid(QStringLiteral("'help' takes at most one command name"));
        if (arguments.size() == 2) {
            result.helpTopic = arguments.at(1);
            if (result.helpTopic != QLatin1String("info")
                && result.helpTopic != QLatin1String("list")
                && result.helpTopic != QLatin1String("update")
                && result.helpTopic != QLatin1String("history"))
                return invalid(QStringLiteral("no help for '%1': the commands are info, list, "
                                              "update and history")
                                       .arg(result.helpTopic));
        }
        return result;
    }

    CliArguments result;
    if (command == QLatin1String("info"))
        result.command = Info;
    else if (command == QLatin1String("list"))
        result.command = List;
    else if (command == QLatin1String("update"))
        result.command = Update;
    else if (command == QLatin1String("history"))
        result.command = History;
    else if (command.startsWith(QLatin1Char('-')))
        return invalid(QStringLiteral("a command must come first (info, list, update or history), "
                                      "not '%1'")
                               .arg(command));
    else
        return invalid(QStringLiteral("unknown command '%1' (the commands are info, list, update "
                                      "and history)")
                               .arg(command));

    // Help wins over everything else on the line, even over mistakes: someone
    // who asks for help is usually in the middle of getting the line right.
    const QStringList rest = arguments.mid(1);
    for (const QString &argument : rest) {
        if (argument == QLatin1String("--"))
            break;
        if (isHelpOption(argument)) {
            CliArguments help;
            help.command = Help;
            help.helpTopic = command;
            return help;
        }
    }

    // Each command knows only its own options; "-x" words are options too, so
    // that "-json" is reported rather than taken as an address.
    const CommandOptions options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    options.addTo(&parser, result.command);
    // The parser skips its first argument, the program's place.
    if (!parser.parse(QStringList{ command } + rest)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return invalid(QStringLiteral("unknown option '%1' for '%2'")
                                   .arg(typedOption(rest, unknown.constFirst()), command));
        const QString missing = missingValueText(rest);
        return invalid(missing.isEmpty() ? parser.errorText() : missing);
    }

    result.json = parser.isSet(options.json);
    if (result.command == List || result.command == Update) {
        // Every value is checked; the last one counts.
        for (const QString &value : parser.values(options.wait)) {
            if (!parseWait(value, &result.waitSeconds))
                return invalid(
                        QStringLiteral("--wait must be a number of seconds from 0 to %1, not '%2'")
                                .arg(kMaxWaitSeconds)
                                .arg(value));
        }
    }
    if (result.command == Update) {
        for (const QString &value : parser.values(options.parallel)) {
            if (!parseParallel(value, &result.parallel))
                return invalid(
                        QStringLiteral("--parallel must be a whole number from 1 to %1, not '%2'")
                                .arg(kMaxParallel)
                                .arg(value));
        }
        for (const QString &value : parser.values(options.verifyTimeout)) {
            if (!parseVerifySeconds(value, &result.verifySeconds))
                return invalid(QStringLiteral("--verify-timeout must be a number of seconds "
                                              "above 0 and at most %1, not '%2'")
                                       .arg(kMaxVerifySeconds)
                                       .arg(value));
        }
        result.all = parser.isSet(options.all);
        result.outdated = parser.isSet(options.outdated);
        result.reinstall = parser.isSet(options.reinstall);
        result.allowOlder = parser.isSet(options.allowOlder);
        result.anyModel = parser.isSet(options.anyModel);
        result.verify = !parser.isSet(options.noVerify);
        if (!result.verify && parser.isSet(options.verifyTimeout))
            return invalid(QStringLiteral("give either --verify-timeout or --no-verify, not both"));
        result.direct = parser.isSet(options.direct);
        if (result.direct && result.all)
            return invalid(QStringLiteral("give either --all or --direct, not both"));
        if (result.direct && parser.isSet(options.wait))
            return invalid(QStringLiteral("--wait has no use with --direct: nothing is searched"));
        // The last one counts, like every option's.
        if (parser.isSet(options.report)) {
            result.reportPath = parser.values(options.report).constLast();
            if (!RunReport::hasReportExtension(result.reportPath))
                return invalid(QStringLiteral("--report needs a file name ending in .csv or "
                                              ".json, not '%1'")
                                       .arg(result.reportPath));
        }
    }
    if (result.command == History) {
        for (const QString &value : parser.values(options.last)) {
            if (!parseLastRuns(value, &result.lastRuns))
                return invalid(QStringLiteral("--last must be a whole number of runs from 1, "
                                              "not '%1'")
                                       .arg(value));
        }
    }

    for (const QString &argument : parser.positionalArguments()) {
        if (result.command != Update)
            return invalid(
                    QStringLiteral("'%1' takes no arguments, got '%2'").arg(command, argument));
        if (!isDottedIPv4(argument))
            return invalid(
                    QStringLiteral("'%1' is not an IPv4 address in dotted form (like 192.168.1.20)")
                            .arg(argument));
        if (!result.addresses.contains(argument))
            result.addresses << argument;
    }

    if (result.command == Update) {
        if (result.all && result.outdated)
            return invalid(QStringLiteral("give either --all or --outdated, not both"));
        if (result.direct && result.addresses.isEmpty())
            return invalid(QStringLiteral("--direct needs the addresses of the units to update"));
        if (result.all && !result.addresses.isEmpty())
            return invalid(QStringLiteral("give either --all or addresses, not both"));
        if (result.outdated && !result.addresses.isEmpty())
            return invalid(QStringLiteral("give either --outdated or addresses, not both"));
        if (!result.all && !result.outdated && result.addresses.isEmpty())
            return invalid(QStringLiteral("name the units to update, or give --all or --outdated"));
    }
    return result;
}

QString CliArguments::helpText(const QString &topic)
{
    if (topic == QLatin1String("info")) {
        return QStringLiteral(
                "Usage: kvx-update info [--json]\n"
                "\n"
                "Describes the firmware image built into this program: model, version,\n"
                "build, size in bytes and SHA-256. Nothing is sent on the network.\n"
                "\n"
                "Options:\n"
                "  --json       one JSON object instead of text\n"
                "  -h, --help   this text\n");
    }
    if (topic == QLatin1String("list")) {
        return QStringLiteral(
                "Usage: kvx-update list [--wait SECONDS] [--json]\n"
                "\n"
                "Searches the local network for KVX Series units (SSDP) and prints the\n"
                "units found: address, model, nickname, firmware version and how that\n"
                "stands against the built-in image: current, older, newer, unknown, or\n"
                "other-model for a unit the image is not for.\n"
                "\n"
                "Options:\n"
                "  --wait SECONDS   how long to search (default 5, at most 3600)\n"
                "  --json           a JSON array instead of a table\n"
                "  -h, --help       this text\n"
                "\n"
                "Exit status: 0 when units were found, 2 when none was (or on a usage\n"
                "error), 130 when interrupted.\n");
    }
    if (topic == QLatin1String("history")) {
        return QStringLiteral(
                "Usage: kvx-update history [--last N] [--json]\n"
                "\n"
                "Prints the updates done so far, by this program and by the window, one\n"
                "run after the other: every unit with its model, nickname, firmware before\n"
                "and after, result and last progress text. The record is the file\n"
                "runs.jsonl in the updater's data folder; a damaged line in it is skipped\n"
                "with a warning.\n"
                "\n"
                "Options:\n"
                "  --last N     only the latest N runs\n"
                "  --json       a JSON array of the units' records instead of tables\n"
                "  -h, --help   this text\n");
    }
    if (topic == QLatin1String("update")) {
        return QStringLiteral(
                "Usage: kvx-update update (--all | ADDRESS...) [--wait SECONDS]\n"
                "                         [--parallel N] [--report FILE] [--json] [OPTIONS]\n"
                "       kvx-update update --outdated [OPTIONS]\n"
                "       kvx-update update --direct ADDRESS... [OPTIONS]\n"
                "\n"
                "Searches for units, then writes the built-in firmware image to the units\n"
                "named by address, to every unit found with --all, or to every unit whose\n"
                "firmware is older than the image with --outdated. Each unit is updated\n"
                "once; at most N are written at the same time and the others wait for a\n"
                "free slot. Named units that do not answer are reported as not found.\n"
                "\n"
                "Units that already run the image's version, run a newer one, or are of\n"
                "another model than the image's are skipped (each a row of the summary)\n"
                "unless --reinstall, --allow-older or --any-model says otherwise. After\n"
                "its update each unit restarts; it is verified when it comes back\n"
                "running the image's version.\n"
                "\n"
                "With --direct nothing is waited for: the named addresses are connected to\n"
                "straight away, for units the search cannot see (switches that filter\n"
                "multicast, routed networks). Their name and version are read when they\n"
                "log in.\n"
                "\n"
                "The units' password is read from the environment variable KVX_PASSWORD,\n"
                "or asked for on the terminal (not echoed). It is never printed.\n"
                "\n"
                "Options:\n"
                "  --all            update every unit found\n"
                "  --direct         no search: connect straight to the named addresses\n"
                "  --wait SECONDS   how long to search (default 5, at most 3600); the search\n"
                "                   ends early once every named unit has answered\n"
                "  --parallel N     units written at the same time, 1 to 5 (default 5)\n"
                "  --report FILE    write the run's report to FILE at the end: CSV, or\n"
                "                   JSON for a name ending in .json\n"
                "  --outdated       update every unit found that runs an older version\n"
                "  --reinstall      also write units that already run the image's version\n"
                "  --allow-older    also write units that run a newer version\n"
                "  --any-model      also write units of another model than the image's\n"
                "  --verify-timeout SECONDS\n"
                "                   how long to wait for an updated unit to come back\n"
                "                   (default 120, at most 3600)\n"
                "  --no-verify      do not wait for the units to come back\n"
                "  --json           one JSON object per line for every event\n"
                "  -h, --help       this text\n"
                "\n"
                "On a terminal every running unit has a progress bar; otherwise each\n"
                "progress text is one line with a time stamp and the unit's address.\n"
                "A summary lists every unit with its result and duration. Each unit's\n"
                "result is also added to the run history (see 'kvx-update history').\n"
                "\n"
                "Ctrl-C starts no further unit, lets running units finish (or time out),\n"
                "then prints the summary.\n"
                "\n"
                "Exit status: 0 when every unit was updated (and verified) or skipped,\n"
                "also when nothing was left to update; 1 when a unit failed, was lost,\n"
                "was not found, came back with another version or did not come back in\n"
                "time, or the report could not be written; 2 on a usage error, when the\n"
                "report's folder cannot be written, or when no named unit was found;\n"
                "130 when interrupted.\n");
    }
    return QStringLiteral(
            "Usage: kvx-update COMMAND [OPTIONS]\n"
            "\n"
            "Updates VORANT KVX Series units with the firmware image built into this\n"
            "program, from scripts and remote shells.\n"
            "\n"
            "Commands:\n"
            "  info     describe the built-in firmware image\n"
            "  list     search the network and list the units found\n"
            "  update   update units with the built-in image\n"
            "  history  the updates done so far\n"
            "\n"
            "'kvx-update COMMAND --help' describes one command.\n");
}
