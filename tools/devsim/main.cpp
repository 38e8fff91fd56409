// kvx-devsim: simulated units of the KVX series for tests, benchmarks and demos.
// See README.md beside this file for the options and the file formats.
#include "simconfig.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = { -1, -1 };

// Only async-signal-safe work here: the number goes through a pipe and the
// event loop does the rest.
void onSignal(int number)
{
    const char byte = char(number);
    const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    (void)ignored;
}

void installSignals()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvx-devsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Simulated KVX series units: SSDP answers and the TCP line protocol."));
    parser.addHelpOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("Configuration file (JSON)."),
                                          QStringLiteral("file"));
    const QCommandLineOption resultsOption(
            QStringLiteral("results"),
            QStringLiteral("Results file, written on SIGUSR1 and at exit (JSON)."),
            QStringLiteral("file"));
    const QCommandLineOption unitOption(
            QStringLiteral("unit"),
            QStringLiteral("A unit with default settings at this address (repeatable)."),
            QStringLiteral("address"));
    const QCommandLineOption labOption(
            QStringLiteral("lab-units"),
            QStringLiteral(
                    "A unit with default settings at every address of KVX_LAB_DEVICE_ADDRS."));
    const QCommandLineOption anyAddressOption(
            QStringLiteral("any-address"),
            QStringLiteral("Allow unit addresses outside the lab subnet 10.77.0.0/24 (never on a "
                           "shared network)."));
    const QCommandLineOption domainOption(
            QStringLiteral("maker-domain"),
            QStringLiteral("The maker's UPnP domain in the units' SSDP answers (default: the "
                           "build's, " KVX_MAKER_DOMAIN ")."),
            QStringLiteral("domain"));
    parser.addOptions(
            { configOption, resultsOption, unitOption, labOption, anyAddressOption, domainOption });
    parser.process(app);

    SimConfig config;
    QString error;
    if (parser.isSet(configOption)) {
        QFile file(parser.value(configOption));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kvx-devsim: cannot read %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 2;
        }
        if (!parseSimConfig(file.readAll(), &config, &error)) {
            std::fprintf(stderr, "kvx-devsim: %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(error));
            return 2;
        }
    }
    QStringList extra = parser.values(unitOption);
    if (parser.isSet(labOption))
        extra += qEnvironmentVariable("KVX_LAB_DEVICE_ADDRS")
                         .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &text : qAsConst(extra)) {
        QHostAddress address;
        if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol
            || address.toString() != text) {
            std::fprintf(stderr, "kvx-devsim: not an IPv4 address: %s\n", qPrintable(text));
            return 2;
        }
        config.units << defaultUnit(address, config.units.size());
    }
    if (parser.isSet(domainOption))
        config.makerDomain = parser.value(domainOption);
    if (config.makerDomain.isEmpty()
        || config.makerDomain.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]")))) {
        std::fprintf(stderr, "kvx-devsim: not a domain name: %s\n", qPrintable(config.makerDomain));
        return 2;
    }
    if (config.units.isEmpty()) {
        std::fprintf(stderr, "kvx-devsim: no units (give --config, --unit or --lab-units)\n");
        return 2;
    }
    // Units answer every search they hear and a flood goes to every searcher:
    // kept to the lab's subnet unless asked otherwise, a misplaced run cannot
    // reach anyone's real network.
    const QPair<QHostAddress, int> labSubnet =
            QHostAddress::parseSubnet(QStringLiteral("10.77.0.0/24"));
    for (const UnitConfig &unit : qAsConst(config.units)) {
        if (!parser.isSet(anyAddressOption) && !unit.address.isInSubnet(labSubnet)) {
            std::fprintf(
                    stderr,
                    "kvx-devsim: %s is outside the lab subnet 10.77.0.0/24 (see --any-address)\n",
                    qPrintable(unit.address.toString()));
            return 2;
        }
    }
    if (!parser.isSet(anyAddressOption) && !config.foreignAddress.isNull()
        && !config.foreignAddress.isInSubnet(labSubnet)) {
        std::fprintf(stderr, "kvx-devsim: foreignAddress is outside the lab subnet 10.77.0.0/24\n");
        return 2;
    }
    for (const UnitConfig &unit : qAsConst(config.units)) {
        if (!knownModels().contains(unit.model))
            std::fprintf(stderr, "kvx-devsim: warning: %s is not a model of the family\n",
                         qPrintable(unit.model));
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("kvx-devsim: socketpair");
        return 1;
    }
    installSignals();

    Simulator simulator(config, parser.value(resultsOption));
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "kvx-devsim: %s\n", qPrintable(error));
        return 1;
    }

    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&simulator] {
        char number = 0;
        if (::read(g_signalPipe[0], &number, 1) != 1)
            return;
        QString writeError;
        if (!simulator.writeResults(&writeError))
            std::fprintf(stderr, "kvx-devsim: cannot write the results: %s\n",
                         qPrintable(writeError));
        if (number == SIGTERM || number == SIGINT)
            QCoreApplication::exit(0);
    });

    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
