#include "protocol/communication.h"

#include "app/logging.h"

#include <QRegularExpression>

constexpr int Communication::kChunkSize;

Communication::Communication(QObject *parent)
    : QObject(parent)
{
}

Communication::~Communication() = default;

QByteArray Communication::dataCommand(const QByteArray &image, int offset, int size)
{
    QByteArray block;
    block.reserve(64 + size);
    block.append("SET UPDATE/SYSTEM:BIN SIZE:");
    block.append(QByteArray::number(size, 16));
    block.append(" offset:");
    block.append(QByteArray::number(offset, 16));
    block.append(" bin:");
    block.append(image.constData() + offset, size);
    block.append("\r\n");
    return block;
}

QString Communication::dataCommandName(int offset, int size)
{
    return QStringLiteral("SET UPDATE/SYSTEM:BIN SIZE:%1 offset:%2")
        .arg(QString::number(size, 16), QString::number(offset, 16));
}

int Communication::percentOf(qint64 sent, qint64 total)
{
    return total > 0 ? int(sent * 100 / total) : 0;
}

void Communication::startUpdate(const QByteArray *image)
{
    m_image = image;
    if (!image || image->isEmpty()) {
        // Nothing to write would leave the unit waiting and the run open for
        // ever; say so and end the run instead.
        endRun(QStringLiteral("ERROR: The firmware image is empty."));
        return;
    }
    m_runState = 1;
    m_sentBytes = 0;
    // The previous run's last text must not hide this run's first one.
    m_lastProgress.clear();
    qCDebug(lcTransfer) << m_deviceAddress << "starting transfer of" << image->size() << "bytes";
    m_protocol.queueSet(QStringLiteral(" UPDATE/SYSTEM:STA SIZE:") + QString::number(image->size(), 16));
    reportProgress(QStringLiteral("Starting..."));
}

void Communication::stopUpdate()
{
    disconnect(&m_protocol, SIGNAL(readyRead(QString)), this, SLOT(recievedData(QString)));
    disconnect(&m_protocol, SIGNAL(errorSig(QAbstractSocket::SocketError,QString)), this,
               SLOT(error(QAbstractSocket::SocketError,QString)));
    disconnect(&m_protocol, SIGNAL(sig_retry_times(int)), this, SLOT(slot_retry_times(int)));
    m_protocol.closeDevice();
}

void Communication::reportProgress(const QString &text)
{
    emit fwup_progress(text, m_deviceAddress);
}

void Communication::recievedData(QString text)
{
    switch (m_runState) {
    case 1:
        m_runState = 2;
        sendNextData();
        return;
    case 2:
        if (m_sentBytes == m_image->size()) {
            m_runState = 3;
            sendEnd();
        } else {
            sendNextData();
        }
        return;
    case 3:
        if (text.isEmpty()) {
            qCDebug(lcTransfer) << m_deviceAddress << "firmware written";
            m_runState = 0;
            emit sig_notifyMessage(QStringLiteral("fwup_completed"));
            reportProgress(QStringLiteral("Firmware update completed."));
            return;
        }
        break;
    default:
        break;
    }
    readValue(text);
}

void Communication::readValue(const QString &text)
{
    static const QLatin1String namePrefix("DEVICE/NAME:");
    static const QLatin1String versionPrefix("DEVICE/VER/SYSTEM:");
    if (text.startsWith(namePrefix, Qt::CaseInsensitive)) {
        m_deviceName = text.mid(namePrefix.size()).remove(QLatin1Char('"'));
        qCDebug(lcTransfer) << m_deviceAddress << "name" << m_deviceName;
    }
    if (text.startsWith(versionPrefix, Qt::CaseInsensitive)) {
        // "V1.04B0119": every capital letter separates, so version and build
        // come out without their letters.
        static const QRegularExpression capital(QStringLiteral("[A-Z]"));
        const QStringList parts = text.mid(versionPrefix.size()).split(capital, Qt::SkipEmptyParts);
        m_fwVersion = parts.value(0);
        m_fwBuild = parts.value(1);
        qCDebug(lcTransfer) << m_deviceAddress << "version" << m_fwVersion << "build" << m_fwBuild;
        emit fwup_initCompleted();
    }
}

void Communication::sendNextData()
{
    const int size = qMin(kChunkSize, m_image->size() - m_sentBytes);
    m_protocol.sendRaw(dataCommand(*m_image, m_sentBytes, size), dataCommandName(m_sentBytes, size));

    const QString text = QStringLiteral("Sending... %1%").arg(percentOf(m_sentBytes, m_image->size()));
    if (text != m_lastProgress) {
        m_lastProgress = text;
        reportProgress(text);
    }
    m_sentBytes += size;
}

void Communication::sendEnd()
{
    qCDebug(lcTransfer) << m_deviceAddress << "all data acknowledged, ending the update";
    // The unit answers only when its flash is written.
    m_protocol.setNextReplyTimeout(m_finalAckTimeoutMs);
    m_protocol.queueSet(QStringLiteral(" UPDATE/SYSTEM:END"));
    reportProgress(QStringLiteral("Writing"));
}

void Communication::error(QAbstractSocket::SocketError, QString errMessage)
{
    endRun(QStringLiteral("ERROR: ") + errMessage);
}

void Communication::slot_retry_times(int retry_times)
{
    if (retry_times < 0) {
        // NG to a command that has nothing to resend: the unit will not take
        // this run any further.
        endRun(QStringLiteral("ERROR: Detected NG response from the unit."));
        return;
    }
    const qint64 total = m_image ? m_image->size() : 0;
    reportProgress(QStringLiteral("Retry: %1 (%2%)").arg(retry_times).arg(percentOf(m_sentBytes, total)));
}

void Communication::endRun(const QString &errorText)
{
    qCDebug(lcTransfer) << m_deviceAddress << "run failed:" << errorText;
    m_runState = 0;
    reportProgress(errorText);
    emit sig_notifyMessage(QStringLiteral("fwup_completed"));
}
