#include "unitsession.h"

#include "unitserver.h"

#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>

namespace {
constexpr qint64 kBlockSize = 512;
// An announced size beyond this cannot be a unit's firmware; refusing it keeps a
// broken client from making the simulator allocate gigabytes.
constexpr quint32 kMaxImageSize = 64u * 1024 * 1024;
} // namespace

UnitSession::UnitSession(QTcpSocket *socket, UnitServer *unit, bool faulty)
    : QObject(unit),
      m_socket(socket),
      m_unit(unit),
      m_config(unit->config()),
      m_behaviour(unit->config().behaviour),
      m_faults(faulty ? unit->config().faults : UnitFaults())
{
    m_socket->setParent(this);
    // Each reply (and each piece of a split reply) is its own segment.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_outTimer.setSingleShot(true);
    connect(&m_outTimer, &QTimer::timeout, this, &UnitSession::pump);
    connect(m_socket, &QTcpSocket::readyRead, this, &UnitSession::slot_readyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &UnitSession::slot_disconnected);
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        QTimer::singleShot(0, this, &UnitSession::slot_disconnected);
        return;
    }
    if (m_behaviour.promptOnConnect) {
        // No wake-up needed: whatever line comes first is the password.
        prompt();
        m_state = AwaitPassword;
    }
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &UnitSession::slot_readyRead);
}

bool UnitSession::peerClosed() const
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return true;
    char byte;
    const ssize_t n = ::recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

void UnitSession::slot_disconnected()
{
    m_outTimer.stop();
    m_out.clear();
    m_state = Closing;
    deleteLater();
}

void UnitSession::violation(const QString &text)
{
    m_unit->addViolation(text);
}

void UnitSession::slot_readyRead()
{
    const QByteArray bytes = m_socket->readAll();
    if (m_state == Silent || m_state == Closing)
        return; // a silent unit reads and forgets, so the client's writes never block
    if (m_droppingInput)
        return;
    m_reader.append(bytes);
    DeviceFrame frame;
    while ((m_state == AwaitWake || m_state == AwaitPassword || m_state == LoggedIn)
           && !m_droppingInput && m_reader.next(&frame)) {
        if (m_state == LoggedIn)
            handleCommand(frame);
        else
            handleLogin(frame);
    }
}

void UnitSession::handleLogin(const DeviceFrame &frame)
{
    for (const QString &text : frame.violations)
        violation(text);
    if (m_state == AwaitWake) {
        if (!frame.text.isEmpty())
            violation(QStringLiteral("wake-up %1 is not an empty line")
                              .arg(describeBytes(frame.text)));
        prompt();
        m_state = AwaitPassword;
        return;
    }

    ++m_unit->stats().loginAttempts;
    if (m_faults.wrongPassword || frame.text != m_config.password.toUtf8()) {
        switch (m_behaviour.refusal) {
        case UnitBehaviour::Failed:
            replyLine(QByteArrayLiteral("Password Failed"), m_behaviour.verdictDelayMs);
            // Unless it is one that prompts again, the unit stays at its
            // password state without a new prompt (a client that answered
            // every prompt would otherwise loop).
            if (m_behaviour.promptOnConnect || m_behaviour.repromptAfterFailure)
                prompt();
            break;
        case UnitBehaviour::PromptOnly:
            prompt(m_behaviour.verdictDelayMs);
            break;
        case UnitBehaviour::Silence:
            break;
        case UnitBehaviour::HangUp:
            replyLine(QByteArrayLiteral("Password Failed"), m_behaviour.verdictDelayMs);
            closeWhenWritten();
            return;
        }
        if (m_behaviour.dropInputOnFailure)
            dropInputUntilWritten(
                    m_behaviour.refusal == UnitBehaviour::Silence ? m_behaviour.verdictDelayMs : 0);
        return;
    }
    ++m_unit->stats().logins;
    replyLine(QByteArrayLiteral("Login Successful"), m_behaviour.verdictDelayMs);
    m_reader.setMode(CommandReader::Commands);
    m_state = m_faults.silentAfterLogin ? Silent : LoggedIn;
}

void UnitSession::handleCommand(const DeviceFrame &frame)
{
    const DeviceCommand command = judgeCommand(frame);
    for (const QString &text : command.violations)
        violation(text);

    if (command.kind != DeviceCommand::Data && m_ngOffset >= 0) {
        violation(QStringLiteral("the data command at offset %1 was answered NG and not sent again")
                          .arg(QString::number(m_ngOffset, 16)));
        m_ngOffset = -1;
    }

    m_replyDelayMs = m_behaviour.replyDelayMs;
    switch (command.kind) {
    case DeviceCommand::GetName:
        if (m_faults.ngQuery)
            replyNg();
        else
            replyLine(QByteArrayLiteral("OK GET DEVICE/NAME:\"") + m_config.model.toUtf8()
                      + QByteArrayLiteral("\""));
        break;
    case DeviceCommand::GetVersion:
        if (m_faults.ngQuery)
            replyNg();
        else
            replyLine(QByteArrayLiteral("OK GET DEVICE/VER/SYSTEM:V") + m_config.version.toUtf8()
                      + "B" + m_config.build.toUtf8());
        break;
    case DeviceCommand::Start:
        handleStart(command);
        break;
    case DeviceCommand::Data:
        handleData(command, frame);
        break;
    case DeviceCommand::End:
        handleEnd();
        break;
    case DeviceCommand::Unknown:
        replyNg();
        break;
    }
}

void UnitSession::handleStart(const DeviceCommand &command)
{
    if (m_faults.ngStart) {
        replyNg();
        return;
    }
    if (command.size == 0 || command.size > kMaxImageSize) {
        violation(QStringLiteral("start command announces %1 bytes").arg(command.size));
        replyNg();
        return;
    }
    UnitStats &stats = m_unit->stats();
    ++stats.transfers;
    stats.announcedSize = command.size;
    stats.bytesReceived = 0;
    stats.image = QByteArray(int(command.size), '\0');
    stats.endAcknowledged = false;
    m_ngDataCount = 0;
    m_ngOffset = -1;
    // The unit erases its flash before it answers.
    replyOkSet(m_behaviour.startDelayMs, {}, QByteArrayLiteral("UPDATE/SYSTEM:STA"));
}

void UnitSession::handleData(const DeviceCommand &command, const DeviceFrame &frame)
{
    UnitStats &stats = m_unit->stats();
    ++stats.dataCommands;
    const QString at = QString::number(command.offset, 16);
    const qint64 end = qint64(command.offset) + command.size;

    if (m_faults.closeAtOffset >= 0 && end > m_faults.closeAtOffset) {
        closeNow();
        return;
    }
    if (m_faults.silentAtOffset >= 0 && end > m_faults.silentAtOffset) {
        m_state = Silent;
        return;
    }

    const QByteArray block = frame.text + frame.payload;
    if (m_ngOffset >= 0) {
        if (command.offset == m_ngOffset) {
            ++stats.resends;
            if (block != m_ngBlock)
                violation(QStringLiteral("the data command at offset %1 was sent again after NG "
                                         "with different bytes")
                                  .arg(at));
        } else {
            violation(QStringLiteral("the data command at offset %1 was answered NG; the next one "
                                     "has offset %2")
                              .arg(QString::number(m_ngOffset, 16), at));
        }
        m_ngOffset = -1;
    }

    const auto refuse = [&](const QString &why) {
        if (!why.isEmpty())
            violation(why);
        m_ngOffset = command.offset;
        m_ngBlock = block;
        replyNg();
    };

    if (stats.announcedSize < 0) {
        refuse(QStringLiteral("data command at offset %1 before any start command").arg(at));
        return;
    }
    if (command.offset != stats.bytesReceived) {
        refuse(QStringLiteral("data command at offset %1; the next block starts at %2")
                       .arg(at, QString::number(stats.bytesReceived, 16)));
        return;
    }
    const qint64 expected = qMin(kBlockSize, stats.announcedSize - stats.bytesReceived);
    if (command.size != expected) {
        refuse(QStringLiteral("data command at offset %1 carries %2 bytes; expected %3")
                       .arg(at, QString::number(command.size, 16), QString::number(expected, 16)));
        return;
    }
    if (m_faults.ngDataTimes > 0 && command.offset / kBlockSize == quint32(m_faults.ngDataIndex)
        && m_ngDataCount < m_faults.ngDataTimes) {
        ++m_ngDataCount;
        refuse(QString());
        return;
    }

    stats.image.replace(int(command.offset), int(command.size), frame.payload);
    stats.bytesReceived = end;
    replyOkSet(0, {}, QByteArrayLiteral("UPDATE/SYSTEM:BIN"));
}

void UnitSession::handleEnd()
{
    UnitStats &stats = m_unit->stats();
    if (m_faults.ngEnd) {
        replyNg();
        return;
    }
    if (stats.announcedSize < 0) {
        violation(QStringLiteral("end command before any start command"));
        replyNg();
        return;
    }
    if (stats.bytesReceived != stats.announcedSize) {
        violation(QStringLiteral("end command after %1 of %2 bytes")
                          .arg(stats.bytesReceived)
                          .arg(stats.announcedSize));
        replyNg();
        return;
    }
    // The unit writes the image to flash before it answers, and then
    // restarts into it.
    UnitServer *unit = m_unit;
    const bool bootFails = m_faults.bootFails;
    replyOkSet(m_config.writeDelayMs + m_faults.slowFinalAckMs, [unit, bootFails] {
        unit->stats().endAcknowledged = true;
        unit->restartAfterUpdate(bootFails);
    });
}

void UnitSession::replyOkSet(int delayMs, std::function<void()> written, const QByteArray &words)
{
    QByteArray bytes = QByteArrayLiteral("OK SET");
    delayMs += m_replyDelayMs;
    m_replyDelayMs = 0;
    if (m_behaviour.ackWords && !words.isEmpty())
        bytes += ' ' + words;
    bytes += lineEnd();
    if (m_faults.coalesceNotify) {
        const UnitStats &stats = m_unit->stats();
        const qint64 percent =
                stats.announcedSize > 0 ? stats.bytesReceived * 100 / stats.announcedSize : 0;
        bytes += QByteArrayLiteral("NOTIFY UPDATE/SYSTEM:PROGRESS:") + QByteArray::number(percent)
                + lineEnd();
    }
    reply(bytes, delayMs, std::move(written));
}

void UnitSession::dropInputUntilWritten(int delayMs)
{
    m_droppingInput = true;
    m_reader.clear();
    Pending marker;
    marker.delayMs = delayMs;
    marker.written = [this] {
        m_droppingInput = false;
        // What arrived while the refusal was on its way was flushed with it.
        m_socket->readAll();
    };
    m_out << marker;
    pump();
}

void UnitSession::replyNg()
{
    ++m_unit->stats().ngSent;
    replyLine(QByteArrayLiteral("NG"));
}

QByteArray UnitSession::lineEnd() const
{
    switch (m_behaviour.lineEnd) {
    case UnitBehaviour::CrLf:
        return QByteArrayLiteral("\r\n");
    case UnitBehaviour::Cr:
        return QByteArrayLiteral("\r");
    case UnitBehaviour::Nul:
        return QByteArray(1, '\0');
    case UnitBehaviour::CrLfNul:
        return QByteArray("\r\n\0", 3);
    case UnitBehaviour::None:
        break;
    }
    return QByteArray();
}

void UnitSession::prompt(int delayMs)
{
    QByteArray bytes = QByteArrayLiteral("Enter Password:");
    if (m_behaviour.lineEnd == UnitBehaviour::Nul || m_behaviour.lineEnd == UnitBehaviour::CrLfNul)
        bytes += lineEnd();
    reply(bytes, delayMs);
}

void UnitSession::replyLine(const QByteArray &text, int delayMs, std::function<void()> written)
{
    delayMs += m_replyDelayMs;
    m_replyDelayMs = 0;
    reply(text + lineEnd(), delayMs, std::move(written));
}

void UnitSession::reply(const QByteArray &bytes, int delayMs, std::function<void()> written)
{
    const int pieces = qBound(1, m_faults.splitReplies, qMax(1, bytes.size()));
    const int step = (bytes.size() + pieces - 1) / pieces;
    for (int from = 0, i = 0; from < bytes.size(); from += step, ++i) {
        Pending piece;
        piece.bytes = bytes.mid(from, step);
        piece.delayMs = i == 0 ? delayMs : qMax(1, m_faults.splitPauseMs);
        if (from + step >= bytes.size())
            piece.written = std::move(written);
        m_out << piece;
    }
    pump();
}

// Writes queued replies in order, waiting where a piece asks for a pause; a
// later reply never overtakes a delayed one.
void UnitSession::pump()
{
    while (!m_out.isEmpty() && !m_outTimer.isActive()) {
        Pending &head = m_out.first();
        if (head.delayMs > 0) {
            m_outTimer.start(head.delayMs);
            head.delayMs = 0;
            return;
        }
        const Pending piece = m_out.takeFirst();
        if (!piece.bytes.isEmpty()) {
            m_socket->write(piece.bytes);
            m_socket->flush();
        }
        if (piece.written)
            piece.written();
    }
    if (m_closeWhenWritten && m_out.isEmpty() && m_state != Closing)
        closeNow();
}

void UnitSession::closeWhenWritten()
{
    m_closeWhenWritten = true;
    // Nothing more is read: commands that arrive now are never answered.
    if (m_state != Closing)
        m_state = Silent;
    pump();
}

void UnitSession::closeNow()
{
    m_outTimer.stop();
    m_out.clear();
    m_state = Closing;
    m_socket->disconnectFromHost();
}
