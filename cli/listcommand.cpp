#include "cli/listcommand.h"

#include "cli/textformat.h"
#include "cli/unitdirectory.h"
#include "core/versionstanding.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

ListCommand::ListCommand(const CliArguments &arguments, UnitDirectory *directory,
                         const RunImage &image, QIODevice *out, QIODevice *err, QObject *parent)
    : QObject(parent),
      m_arguments(arguments),
      m_directory(directory),
      m_image(image),
      m_out(out),
      m_err(err)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ListCommand::finish);
}

void ListCommand::start()
{
    m_timer.start(int(m_arguments.waitSeconds * 1000));
}

void ListCommand::interrupt(int signalNumber)
{
    if (m_finished)
        return;
    m_interruptedBy = signalNumber;
    finish();
}

QString ListCommand::status(const UnitInfo &unit, const RunImage &image)
{
    return VersionStanding::statusName(VersionStanding::judge(
            unit.model, unit.version, unit.build, image.model, image.version, image.build));
}

QByteArray ListCommand::render(const QList<UnitInfo> &units, bool json, const RunImage &image,
                               const QHash<QString, QStringList> &warnings)
{
    if (json) {
        if (units.isEmpty())
            return QByteArrayLiteral("[]\n");
        QJsonArray array;
        for (const UnitInfo &unit : units) {
            array.append(
                    QJsonObject{ { QStringLiteral("address"), unit.address },
                                 { QStringLiteral("model"), unit.model },
                                 { QStringLiteral("nickname"), unit.nickname },
                                 { QStringLiteral("version"), unit.version },
                                 { QStringLiteral("status"), status(unit, image) },
                                 { QStringLiteral("warnings"),
                                   QJsonArray::fromStringList(warnings.value(unit.address)) } });
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented);
    }
    if (units.isEmpty())
        return QByteArray();
    QList<QStringList> rows;
    for (const UnitInfo &unit : units)
        rows << QStringList{ unit.address, unit.model, unit.nickname, unit.version,
                             status(unit, image) };
    QString text = TextFormat::table({ QStringLiteral("ADDRESS"), QStringLiteral("MODEL"),
                                       QStringLiteral("NICKNAME"), QStringLiteral("VERSION"),
                                       QStringLiteral("STATUS") },
                                     rows);
    for (const UnitInfo &unit : units) {
        for (const QString &warning : warnings.value(unit.address))
            text += QStringLiteral("warning: %1: %2\n")
                            .arg(TextFormat::printable(unit.address),
                                 TextFormat::printable(warning));
    }
    return text.toUtf8();
}

void ListCommand::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    const QList<UnitInfo> units = UnitDirectory::sortedByAddress(m_directory->units());
    QHash<QString, QStringList> warnings;
    if (m_warningSource) {
        for (const UnitInfo &unit : units) {
            const QStringList texts = m_warningSource(unit.address);
            if (!texts.isEmpty())
                warnings.insert(unit.address, texts);
        }
    }
    m_out->write(render(units, m_arguments.json, m_image, warnings));
    if (units.isEmpty() && !m_arguments.json)
        m_err->write("kvx-update: no units found\n");
    int status = units.isEmpty() ? 2 : 0;
    if (m_interruptedBy)
        status = 128 + m_interruptedBy;
    emit done(status);
}
