#include "protocol/communication.h"

#include "core/logging.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

constexpr int Communication::kChunkSize;

Communication::Communication(QObject *parent) : QObject(parent) { }

Communication::~Communication() = default;

static char *appendHex(char *out, quint32 value)
{
    char digits[8];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xf];
        value >>= 4;
    } while (value);
    while (n)
        *out++ = digits[--n];
    return out;
}

QByteArray Communication::dataCommand(const QByteArray &image, int offset, int size,
                                      int *nameLength)
{
    static const char verb[] = "SET UPDATE/SYSTEM:BIN SIZE:";
    static const char offsetKey[] = " offset:";
    static const char binKey[] = " bin:";
    char head[80];
    char *out = head;
    out = std::copy(verb, verb + sizeof verb - 1, out);
    out = appendHex(out, quint32(size));
    out = std::copy(offsetKey, offsetKey + sizeof offsetKey - 1, out);
    out = appendHex(out, quint32(offset));
    if (nameLength)
        *nameLength = int(out - head);
    out = std::copy(binKey, binKey + sizeof binKey - 1, out);
    const int headLength = int(out - head);

    QByteArray block(headLength + size + 2, Qt::Uninitialized);
    char *data = block.data();
    std::memcpy(data, head, size_t(headLength));
    std::memcpy(data + headLength, image.constData() + offset, size_t(size));
    data[headLength + size] = '\r';
    data[headLength + size + 1] = '\n';
    return block;
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
    m_lastProgressPercent = -1;
    qCDebug(lcTransfer) << m_deviceAddress << "starting transfer of" << image->size() << "bytes";
    // A unit may erase its flash before it acknowledges the start, and may
    // echo words behind the OK SET of the start and data commands.
    m_protocol.setNextReplyTimeout(m_finalAckTimeoutMs);
    m_protocol.setAcknowledgeSetWithWords(true);
    m_protocol.queueSet(QStringLiteral(" UPDATE/SYSTEM:STA SIZE:")
                        + QString::number(image->size(), 16));
    reportProgress(QStringLiteral("Starting..."));
}

void Communication::linkProtocol()
{
    connect(&m_protocol, &MixerProtocol::readyRead, this, &Communication::recievedData,
            Qt::UniqueConnection);
    connect(&m_protocol, &MixerProtocol::errorSig, this, &Communication::error,
            Qt::UniqueConnection);
    connect(&m_protocol, &MixerProtocol::sig_retry_times, this, &Communication::slot_retry_times,
            Qt::UniqueConnection);
}

void Communication::stopUpdate()
{
    disconnect(&m_protocol, &MixerProtocol::readyRead, this, &Communication::recievedData);
    disconnect(&m_protocol, &MixerProtocol::errorSig, this, &Communication::error);
    disconnect(&m_protocol, &MixerProtocol::sig_retry_times, this,
               &Communication::slot_retry_times);
    m_protocol.closeDevice();
}

void Communication::reportProgress(const QString &text)
{
    emit fwup_progress(text, m_deviceAddress);
}

void Communication::recievedData(QString text)
{
    // Only the unit's acknowledgement (the empty text of a two-word OK, or of
    // an OK SET with words while data goes out) of the command this run sent
    // last moves the transfer on. Words, notifications
    // among them, answer nothing: counting them would put a data command in
    // flight before the last one was answered, and the acknowledgement of the
    // last data command would then complete the run before the unit had
    // answered the end command. Neither can an acknowledgement answer a start
    // or end command still waiting in the client's queue (the unit repeating
    // an OK after the version reply, say): taking it as the answer would send
    // the first data command ahead of the start command.
    if (m_runState != 0 && (!text.isEmpty() || m_protocol.hasUnsentCommands())) {
        readValue(text);
        return;
    }
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
    int nameLength = 0;
    const QByteArray block = dataCommand(*m_image, m_sentBytes, size, &nameLength);
    m_protocol.sendRaw(block, nameLength);

    // The text is a function of the percent: it is built only when the
    // percent differs from the one m_lastProgress shows.
    const int percent = percentOf(m_sentBytes, m_image->size());
    if (percent != m_lastProgressPercent) {
        const QString text =
                QStringLiteral("Sending... ") + QString::number(percent) + QLatin1Char('%');
        if (text != m_lastProgress) {
            m_lastProgress = text;
            m_lastProgressPercent = percent;
            reportProgress(text);
        }
    }
    m_sentBytes += size;
}

void Communication::sendEnd()
{
    qCDebug(lcTransfer) << m_deviceAddress << "all data acknowledged, ending the update";
    // The unit answers only when its flash is written. Only the two-word OK
    // completes the run: "OK SET" with words may be a step of the write.
    m_protocol.setAcknowledgeSetWithWords(false);
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
    reportProgress(
            QStringLiteral("Retry: %1 (%2%)").arg(retry_times).arg(percentOf(m_sentBytes, total)));
}

void Communication::endRun(const QString &errorText)
{
    qCDebug(lcTransfer) << m_deviceAddress << "run failed:" << errorText;
    m_runState = 0;
    m_protocol.setAcknowledgeSetWithWords(false);
    reportProgress(errorText);
    emit sig_notifyMessage(QStringLiteral("fwup_completed"));
}
