// kvx-update: the updater for scripts and remote shells. The same core as the
// window (device table, records, transfer), driven from the command line.
#include "cli/cliarguments.h"
#include "cli/imageinfo.h"
#include "cli/listcommand.h"
#include "cli/passwordsource.h"
#include "cli/signalwatcher.h"
#include "cli/unitdirectory.h"
#include "cli/updatecommand.h"
#include "cli/updatereporter.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

bool stdoutIsTerminal(int *columns)
{
#ifdef Q_OS_UNIX
    if (!::isatty(STDOUT_FILENO))
        return false;
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        *columns = size.ws_col;
    return true;
#else
    Q_UNUSED(columns)
    return false;
#endif
}

int runInfo(const CliArguments &arguments, QIODevice *out)
{
    const ImageInfo info = ImageInfo::fromImage(ImageInfo::embeddedImage());
    if (arguments.json) {
        out->write(QJsonDocument(info.toJson()).toJson(QJsonDocument::Indented));
        return 0;
    }
    out->write(QStringLiteral(
                       "model:   %1\nversion: %2\nbuild:   %3\nsize:    %4 bytes\nsha256:  %5\n")
                       .arg(info.model, info.versionText, info.buildText)
                       .arg(info.size)
                       .arg(info.sha256)
                       .toUtf8());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvx-update"));

#ifdef Q_OS_UNIX
    // Output to a reader that went away (a pipe into "head", a closed remote
    // shell) must not end the program in the middle of writing a unit: the
    // write fails and the updates go on.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // On the descriptors themselves, unbuffered: every line leaves at once, and
    // nothing piles up in a buffer when the reader has gone.
    QFile out;
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    QFile err;
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);

    const CliArguments arguments = CliArguments::parse(app.arguments().mid(1));
    switch (arguments.command) {
    case CliArguments::Invalid:
        err.write(QStringLiteral("kvx-update: %1\nTry 'kvx-update --help'.\n")
                          .arg(arguments.error)
                          .toUtf8());
        return 2;
    case CliArguments::Help:
        out.write(CliArguments::helpText(arguments.helpTopic).toUtf8());
        return 0;
    case CliArguments::Info:
        return runInfo(arguments, &out);
    case CliArguments::List:
    case CliArguments::Update:
        break;
    }

    // Asked before anything touches the network: an unattended run without a
    // password should stop here, not after its search.
    QString password;
    if (arguments.command == CliArguments::Update) {
        switch (PasswordSource::obtain(&password)) {
        case PasswordSource::Obtained:
            break;
        case PasswordSource::NoTerminal:
            err.write("kvx-update: no password: set KVX_PASSWORD or run on a terminal\n");
            return 2;
        case PasswordSource::Cancelled:
            err.write("kvx-update: no password given\n");
            return 2;
        }
    }

    SignalWatcher signalWatcher;
    int status = 0;
    {
        // Discovery starts here. No QML: the table publishes its properties
        // only when a QML context exists.
        UdpMachineList table;
        UnitDirectory directory(&table);

        if (arguments.command == CliArguments::List) {
            ListCommand command(arguments, &directory, ImageInfo::fromImage(table.binfile()), &out,
                                &err);
            QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &command,
                             &ListCommand::interrupt);
            QObject::connect(&command, &ListCommand::done, &app, &QCoreApplication::exit,
                             Qt::QueuedConnection);
            command.start();
            status = app.exec();
        } else {
            int columns = 80;
            const bool terminal = stdoutIsTerminal(&columns);
            UpdateReporter reporter(arguments.json     ? UpdateReporter::Json
                                            : terminal ? UpdateReporter::Terminal
                                                       : UpdateReporter::Plain,
                                    &out);
            reporter.setTerminalWidth(columns);
            // Exact byte counts for the bars: the run's own counter, read only.
            reporter.setSentBytesProbe([&table](const QString &address) -> qint64 {
                for (const UdpMachineNode *node : table.nodes()) {
                    if (node->m_ipaddr == address
                        && node->m_fwup_state == UdpMachineNode::Transferring)
                        return node->m_comm.m_sentBytes;
                }
                return -1;
            });
            UpdateCommand command(arguments, password, &table, &directory, &reporter,
                                  ImageInfo::fromImage(table.binfile()));
            password.fill(QLatin1Char('\0'));
            QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &command,
                             &UpdateCommand::interrupt);
            QObject::connect(&command, &UpdateCommand::done, &app, &QCoreApplication::exit,
                             Qt::QueuedConnection);
            command.start();
            status = app.exec();
        }
    }
    return status;
}
