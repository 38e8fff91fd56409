// kvx-update: the updater for scripts and remote shells. The same core as the
// window (device table, records, transfer), driven from the command line.
#include "cli/cliarguments.h"
#include "cli/consoleoutput.h"
#include "cli/historycommand.h"
#include "cli/listcommand.h"
#include "cli/passwordsource.h"
#include "cli/runlog.h"
#include "cli/signalwatcher.h"
#include "cli/unitdirectory.h"
#include "cli/updatecommand.h"
#include "cli/updatereporter.h"
#include "core/programversion.h"
#include "core/runhistory.h"
#include "core/runimage.h"
#include "core/runreport.h"
#include "device/udpmachinenode.h"
#include "discovery/udpmm.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

int runInfo(const CliArguments &arguments, QIODevice *out)
{
    const RunImage info = RunImage::fromImage(RunImage::embeddedImage());
    // Built in like the image: the maker's domain that units name in their
    // SSDP answers (a build with the placeholder finds no real unit).
    const QString domain = QStringLiteral(KVX_MAKER_DOMAIN);
    if (arguments.json) {
        QJsonObject object = info.toJson();
        object.insert(QStringLiteral("makerDomain"), domain);
        out->write(QJsonDocument(object).toJson(QJsonDocument::Indented));
        return 0;
    }
    out->write(QStringLiteral("model:   %1\nversion: %2\nbuild:   %3\nsize:    %4 bytes\nsha256:  "
                              "%5\ndomain:  %6\n")
                       .arg(info.model, info.version, info.build)
                       .arg(info.size)
                       .arg(info.sha256, domain)
                       .toUtf8());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvx-update"));

    const ConsoleOutput console;
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
    case CliArguments::History:
        return HistoryCommand::run(RunHistory::defaultPath(), arguments.lastRuns, arguments.json,
                                   &out, &err);
    case CliArguments::List:
    case CliArguments::Update:
        break;
    }

    // A report that could not be written at the end would be a run without
    // its record: say so before anything is updated.
    QString why;
    if (!arguments.reportPath.isEmpty() && !RunReport::canWrite(arguments.reportPath, &why)) {
        err.write(QStringLiteral("kvx-update: cannot write the report to %1: %2\n")
                          .arg(arguments.reportPath, why)
                          .toUtf8());
        return 2;
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
            ListCommand command(arguments, &directory, RunImage::fromImage(table.binfile()), &out,
                                &err);
            command.setWarningSource(
                    [&table](const QString &address) { return table.identityWarnings(address); });
            QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &command,
                             &ListCommand::interrupt);
            QObject::connect(&signalWatcher, &SignalWatcher::closing, &command,
                             &ListCommand::interrupt);
            QObject::connect(&command, &ListCommand::done, &app, &QCoreApplication::exit,
                             Qt::QueuedConnection);
            command.start();
            status = app.exec();
        } else {
            UpdateReporter reporter(UpdateReporter::modeFor(arguments.json, console.kind()), &out);
            reporter.setTerminalWidth(console.columns());
            // Exact byte counts for the bars: the run's own counter, read only.
            reporter.setSentBytesProbe([&table](const QString &address) -> qint64 {
                for (const UdpMachineNode *node : table.nodes()) {
                    if (node->m_ipaddr == address
                        && node->m_fwup_state == UdpMachineNode::Transferring)
                        return node->m_comm.m_sentBytes;
                }
                return -1;
            });
            const RunImage image = RunImage::fromImage(table.binfile());
            UpdateCommand command(arguments, password, &table, &directory, &reporter, image);
            password.fill(QLatin1Char('\0'));
            // Named in the history exactly as the window names it.
            RunLog runLog(command.scheduler(), &directory, image,
                          QStringLiteral("kvx-update ") + programVersion());
            QObject::connect(
                    &runLog, &RunLog::historyFailed, &runLog, [&err](const QString &message) {
                        err.write(
                                QStringLiteral("kvx-update: warning: %1\n").arg(message).toUtf8());
                    });
            command.setDirectTargetAdder(
                    [&table](const QString &address) { return table.addDirectTarget(address); });
            command.setWarningSource(
                    [&table](const QString &address) { return table.identityWarnings(address); });
            QObject::connect(&signalWatcher, &SignalWatcher::interrupted, &command,
                             &UpdateCommand::interrupt);
            QObject::connect(&signalWatcher, &SignalWatcher::closing, &command,
                             &UpdateCommand::close);
            QObject::connect(&command, &UpdateCommand::done, &app, &QCoreApplication::exit,
                             Qt::QueuedConnection);
            command.start();
            status = app.exec();

            if (!arguments.reportPath.isEmpty()) {
                QString error;
                if (RunReport::write(arguments.reportPath, runLog.records(), &error)) {
                    if (!arguments.json)
                        out.write(QStringLiteral("Report written to %1\n")
                                          .arg(arguments.reportPath)
                                          .toUtf8());
                } else {
                    err.write(QStringLiteral("kvx-update: %1\n").arg(error).toUtf8());
                    status = status == 0 ? 1 : status;
                }
            }
        }
    }
    return status;
}
