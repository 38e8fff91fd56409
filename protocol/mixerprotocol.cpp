#include "protocol/mixerprotocol.h"

#include "core/logging.h"
#include "protocol/linetransport.h"
#include "protocol/replyline.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTextCodec>

#include <cstring>

constexpr int MixerProtocol::kMaxResends;
constexpr int MixerProtocol::kMaxPendingBytes;
constexpr int MixerProtocol::kMinReanswerMs;
constexpr int MixerProtocol::kVerdictMarginMs;

MixerProtocol::MixerProtocol(QObject *parent) : QObject(parent)
{
    m_awaitingReply = false;
    m_codec = QTextCodec::codecForName("UTF-8");
    connect(&m_socket, &QTcpSocket::connected, this, &MixerProtocol::loginToServer);
    connect(&m_socket, &QTcpSocket::readyRead, this, &MixerProtocol::getData);
    connect(&m_socket, &QTcpSocket::disconnected, this, &MixerProtocol::closeConnection);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &MixerProtocol::slot_error);
    connect(&m_timer, &Deadline::timeout, this, &MixerProtocol::slot_timeout);
    connect(&m_quietTimer, &Deadline::timeout, this, &MixerProtocol::slot_quietTime);
    m_commandQueue.clear();
    m_closed = false;
}

MixerProtocol::~MixerProtocol()
{
    // The socket outlives this object's other members and reports its own
    // close while it is destroyed: nothing of that may reach these slots.
    disconnect(&m_socket, nullptr, this, nullptr);
    disconnect(&m_timer, nullptr, this, nullptr);
    disconnect(&m_quietTimer, nullptr, this, nullptr);
}

void MixerProtocol::connectToDevice(const QString &host, const QString &password)
{
    endSession();
    m_commandQueue.clear();
    m_awaitingReply = false;
    m_closed = false;
    m_password = password + QLatin1String("\r\n");

    const QStringList parts = host.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    const quint16 port = parts.value(1).toUShort(); // no number: 0
    const QHostAddress address(parts.value(0));
    m_lastRaw.clear();
    m_lastRawNameLength = 0;
    m_replyCount = 0;
    m_resendsInRow = 0;

    // A socket still closing (or failed but open) from the previous run would
    // refuse the new host.
    if (m_socket.state() != QAbstractSocket::UnconnectedState || m_socket.isOpen())
        m_socket.abort();

    qCDebug(lcProtocol) << "connecting to" << address.toString() << port;
    expect(Awaiting::Connection, QString(), m_connectTimeoutMs);
    if (m_transport) {
        m_transport->open();
        return;
    }
    m_inConnect = true;
    m_socket.connectToHost(address, port,
                           m_unbufferedSocket ? QIODevice::ReadWrite | QIODevice::Unbuffered
                                              : QIODevice::ReadWrite);
    m_inConnect = false;
}

void MixerProtocol::closeDevice()
{
    qCDebug(lcProtocol) << "closing the connection";
    endSession();
    m_commandQueue.clear();
    if (m_transport)
        m_transport->close();
    else
        m_socket.close();
    m_closed = true;
}

QAbstractSocket::SocketState MixerProtocol::socketState() const
{
    if (m_transport)
        return m_transport->isConnected() ? QAbstractSocket::ConnectedState
                                          : QAbstractSocket::UnconnectedState;
    return m_socket.state();
}

void MixerProtocol::queueGet(const QString &command, bool deferred)
{
    m_commandQueue.append(ReplyLine::commandLine(QStringLiteral("GET"), command));
    if (!deferred)
        sendNextQueued();
}

void MixerProtocol::queueSet(const QString &command)
{
    m_commandQueue.append(ReplyLine::commandLine(QStringLiteral("SET"), command));
    sendNextQueued();
}

void MixerProtocol::sendRaw(const QByteArray &block)
{
    sendRaw(block, 0);
}

void MixerProtocol::sendRaw(const QByteArray &block, int nameLength)
{
    if (m_closed) {
        qCDebug(lcProtocol) << "connection closed, dropping" << rawSubject(block, nameLength);
        return;
    }
    // Overtaking the outstanding command would make its reply ambiguous, and
    // overtaking a block held for it would change the order of the blocks:
    // the block goes out as soon as that reply has been handled.
    if (m_awaitingReply || !m_heldRaw.isEmpty()) {
        qCDebug(lcProtocol) << "holding" << rawSubject(block, nameLength)
                            << "until the outstanding reply";
        m_heldRaw.append(qMakePair(block, nameLength));
        return;
    }
    writeRaw(block, nameLength);
}

QString MixerProtocol::rawSubject(const QByteArray &block, int nameLength)
{
    if (nameLength <= 0)
        return QStringLiteral("a raw block of %1 bytes").arg(block.size());
    return QLatin1Char('"') + QString::fromUtf8(block.constData(), qMin(nameLength, block.size()))
            + QLatin1Char('"');
}

QString MixerProtocol::awaitedSubject() const
{
    return m_awaitedRaw ? rawSubject(m_awaitedBlock, m_awaitedNameLength) : m_awaitedSubject;
}

QTextCodec *MixerProtocol::textCodec() const
{
    return m_codec;
}

void MixerProtocol::setNextReplyTimeout(int ms)
{
    m_nextReplyTimeoutMs = ms;
}

void MixerProtocol::loginToServer()
{
    qCDebug(lcProtocol) << "connected, waking the unit";
    m_wakeUpAt = Deadline::now();
    write(QByteArrayLiteral("\r\n"));
    expect(Awaiting::Prompt, QString(), m_replyTimeoutMs);
}

void MixerProtocol::getData()
{
    // The buffer lives on the stack, so whatever runs inside receive() cannot
    // overwrite the bytes being judged.
    char buffer[kReadChunk];
    const quint32 session = m_session;
    const bool unbuffered = m_socket.openMode() & QIODevice::Unbuffered;
    for (;;) {
        const qint64 n = m_socket.read(buffer, kReadChunk);
        if (n > 0)
            receive(buffer, int(n));
        if (session != m_session || m_closed)
            return;
        if (unbuffered) {
            // One read per notification, which fires again while bytes
            // remain. A remote close or reset shows only as a failed read.
            if (n < 0 || m_socket.state() == QAbstractSocket::UnconnectedState)
                slot_error(m_socket.error());
            return;
        }
        // Buffered: the notification comes once for what has arrived, so all
        // of it is read now; the socket reports a close by its own error.
        if (n <= 0 || m_socket.bytesAvailable() <= 0)
            return;
    }
}

void MixerProtocol::closeConnection()
{
    // A remote close also raises the socket's error, which reports it.
}

void MixerProtocol::slot_error(QAbstractSocket::SocketError socketError)
{
    // What the unit said last before it hung up is a line even without its
    // line end: a unit that never ends its lines acknowledges the end command
    // and restarts at once, and its OK must not be lost to the close.
    if (!m_closed && !m_errorReported && !m_pending.isEmpty()) {
        m_quietTimer.stop();
        judgeUnendedLine();
    }
    const QString message = m_transport ? m_transport->errorString() : m_socket.errorString();
    if (m_closed || m_errorReported) {
        // Closed by us, or already reported: the run has been told why.
        qCDebug(lcProtocol) << "socket error ignored:" << message;
        return;
    }
    if (m_login == Login::Answered || m_login == Login::Doubtful) {
        // Hanging up on a password is refusing it.
        qCDebug(lcProtocol) << "the unit hung up after the password:" << message;
        rejectPassword();
        return;
    }
    m_errorReported = true;
    m_timer.stop();
    m_awaiting = Awaiting::Nothing;
    qCDebug(lcProtocol) << "socket error" << socketError << message;
    if (m_inConnect) {
        // A connect that fails at once (no route to the unit) is reported
        // from inside connectToHost; the caller has not finished starting its
        // run yet, so tell it from the event loop.
        const quint32 session = m_session;
        QTimer::singleShot(0, this, [this, session, socketError, message] {
            if (session == m_session && !m_closed)
                emit errorSig(socketError, message);
        });
        return;
    }
    emit errorSig(socketError, message);
}

void MixerProtocol::slot_timeout()
{
    const QString within = ReplyLine::formatDuration(m_timer.interval());
    QString message;
    switch (m_awaiting) {
    case Awaiting::Nothing:
        return;
    case Awaiting::SecondVerdict:
        if (m_login == Login::Doubtful && !m_reanswerDue) {
            // No verdict long after the unit's own refusal time: it dropped
            // the password. Its new prompt is answered once more, now or
            // when it comes within the rest of the grace.
            m_reanswerDue = true;
            if (m_promptSinceRefusal) {
                reanswerPrompt();
                return;
            }
            if (m_graceLeftMs > 0) {
                expect(Awaiting::SecondVerdict, QStringLiteral("the password"), m_graceLeftMs);
                return;
            }
        }
        rejectPassword();
        return;
    case Awaiting::Verdict:
        // Silence after the password is the verdict.
        rejectPassword();
        return;
    case Awaiting::Connection:
        message = QStringLiteral("No connection to the unit within %1.").arg(within);
        break;
    case Awaiting::Prompt:
        message = QStringLiteral("No password prompt from the unit within %1.").arg(within);
        break;
    case Awaiting::Reply:
        // A reply that came but led nowhere (no acknowledgement, no value the
        // run could use) is told apart from silence.
        message = (m_replySeen ? QStringLiteral("No usable reply from the unit to %1 within %2.")
                               : QStringLiteral("No reply from the unit to %1 within %2."))
                          .arg(awaitedSubject(), within);
        break;
    }
    fail(QAbstractSocket::SocketTimeoutError, message);
}

void MixerProtocol::sendNextQueued()
{
    if (m_commandQueue.isEmpty() || m_closed || m_awaitingReply)
        return;
    m_awaitingReply = true;
    m_commandInFlight = true;
    const QString line = m_commandQueue.takeFirst();
    m_queryInFlight = line.startsWith(QLatin1String("GET"));
    m_queryKey = m_queryInFlight ? line.mid(3).trimmed() : QString();
    write(m_codec->fromUnicode(line));
    const int ms = m_nextReplyTimeoutMs > 0 ? m_nextReplyTimeoutMs : m_replyTimeoutMs;
    m_nextReplyTimeoutMs = 0;
    expect(Awaiting::Reply, QLatin1Char('"') + line.chopped(2) + QLatin1Char('"'), ms);
}

void MixerProtocol::handleReceived(const QByteArray &bytes)
{
    receive(bytes.constData(), bytes.size());
}

// Where the next line starts after a line end at `at`: a CR directly followed
// by LF ends the line together with it, also when the LF comes with the next
// read.
static int afterLineEnd(const char *data, int size, int at, bool *afterCr)
{
    if (data[at] != '\r')
        return at + 1;
    if (at + 1 == size) {
        *afterCr = true;
        return at + 1;
    }
    return data[at + 1] == '\n' ? at + 2 : at + 1;
}

void MixerProtocol::receive(const char *bytes, int length)
{
    if (length <= 0)
        return;
    qCDebug(lcWire) << "<-" << QByteArray::fromRawData(bytes, length);
    m_quietTimer.stop();
    if (!m_sawLineEnd && ReplyLine::lineEnd(bytes, length) >= 0)
        m_sawLineEnd = true;
    if (m_afterCr) {
        m_afterCr = false;
        if (bytes[0] == '\n') {
            ++bytes;
            if (--length == 0)
                return;
        }
    }

    // Judge straight from the caller's bytes unless a line is pending.
    QByteArray joined;
    if (!m_pending.isEmpty()) {
        joined.swap(m_pending);
        joined.append(bytes, length);
        bytes = joined.constData();
        length = joined.size();
    }
    const char *p = bytes;
    const int size = length;
    const quint32 session = m_session;
    int pos = 0;
    bool judged = false;

    if (m_skippingLine) {
        const int end = ReplyLine::lineEnd(p, size);
        if (end < 0)
            return;
        pos = afterLineEnd(p, size, end, &m_afterCr);
        m_skippingLine = false;
        judged = true;
    }

    while (pos < size) {
        // What follows a prompt's text (its colon, a blank), in the same read
        // or a later one, is part of the prompt.
        if (m_afterPromptText) {
            while (pos < size && (p[pos] == ':' || p[pos] == ' '))
                ++pos;
            if (pos == size)
                break;
            m_afterPromptText = false;
        }
        // Prompts have no line end: they count as soon as they are there.
        const ReplyLine::Prompt prompt = ReplyLine::loginPrompt(p + pos, size - pos);
        if (prompt != ReplyLine::Prompt::None) {
            if (!handlePrompt(int(prompt)) || session != m_session)
                return;
            // What follows a password prompt or "Password Failed" in the
            // same read may be the next step of the login.
            pos += ReplyLine::promptLength(prompt);
            m_afterPromptText = true;
            continue;
        }
        const int end = ReplyLine::lineEnd(p + pos, size - pos);
        if (end < 0)
            break;
        const int start = pos;
        pos = afterLineEnd(p, size, pos + end, &m_afterCr);
        if (end == 0)
            continue; // an empty line answers nothing
        judged = true;
        if (!handleLine(p + start, end, session))
            return;
    }

    const int rest = size - pos;
    if (rest > kMaxPendingBytes) {
        qCWarning(lcProtocol) << "dropping a line of more than" << kMaxPendingBytes << "bytes";
        m_skippingLine = true;
    } else if (rest > 0) {
        m_pending = QByteArray(p + pos, rest);
        if (pendingCompleteAsItStands()) {
            // Nothing that could follow changes this verdict: waiting for a
            // line end that a unit may never send would cost every reply.
            QByteArray line;
            line.swap(m_pending);
            if (!handleLine(line.constData(), line.size(), session) || session != m_session)
                return;
            judged = true;
        } else if (!ReplyLine::couldBecomeReply(m_pending)
                   && !ReplyLine::couldBecomePrompt(m_pending)) {
            // The rest of a reply already judged, or some other text: it is
            // ignored whatever follows, and must not run into the next reply
            // (of a unit that never ends its lines).
            m_pending.clear();
        } else {
            m_quietTimer.start(m_quietTimeMs);
        }
    }
    if (judged)
        finishBlock();
}

// A query's value that could be whole: its quotes closed, and a version with
// both its parts.
static bool valueLooksWhole(const ReplyLine::Reply &reply, const QString &key)
{
    if (reply.kind != ReplyLine::Reply::Values)
        return false;
    const QString value = reply.words.join(QLatin1Char(' '));
    if (!value.startsWith(key + QLatin1Char(':'), Qt::CaseInsensitive)
        || value.size() == key.size() + 1 || value.count(QLatin1Char('"')) % 2 != 0)
        return false;
    static const QLatin1String version("DEVICE/VER/SYSTEM:");
    if (value.startsWith(version, Qt::CaseInsensitive)) {
        static const QRegularExpression twoParts(QStringLiteral("^[A-Z]*[^A-Z]+[A-Z]+[^A-Z]+"));
        return twoParts.match(value.mid(version.size())).hasMatch();
    }
    return true;
}

bool MixerProtocol::pendingCompleteAsItStands() const
{
    if (!m_commandInFlight || m_login != Login::LoggedIn)
        return false;
    const ReplyLine::Reply reply = ReplyLine::judgeLine(m_pending);
    if (reply.kind == ReplyLine::Reply::NotGood)
        return true;
    // A query's reply may still grow its value. A unit that has ended none
    // of its texts in this connection will not end this one either: what
    // the read brought is the reply, as a client that takes each read as a
    // block sees it; waiting would cost every such unit the quiet time twice
    // per update (longer than the whole transfer on a fast network).
    if (m_queryInFlight)
        return !m_sawLineEnd && valueLooksWhole(reply, m_queryKey);
    return ReplyLine::acknowledges(reply, m_setWithWordsAcknowledges);
}

void MixerProtocol::slot_quietTime()
{
    judgeUnendedLine();
}

void MixerProtocol::judgeUnendedLine()
{
    if (m_pending.isEmpty() || m_closed)
        return;
    // A prompt cut by the network is no reply line: it waits for its rest
    // (the time-out of what the client awaits covers a unit gone quiet).
    if (ReplyLine::couldBecomePrompt(m_pending))
        return;
    qCDebug(lcProtocol) << "judging an unended line after" << m_quietTimeMs << "ms of quiet";
    QByteArray line;
    line.swap(m_pending);
    const quint32 session = m_session;
    if (handleLine(line.constData(), line.size(), session) && session == m_session)
        finishBlock();
}

bool MixerProtocol::handlePrompt(int prompt)
{
    const bool afterFailure = m_afterFailure;
    m_afterFailure = false;
    if (m_login == Login::LoggedIn) {
        // The login is over: nothing the unit says now asks for a password.
        qCDebug(lcProtocol) << "login text after the login ignored";
        return true;
    }
    switch (ReplyLine::Prompt(prompt)) {
    case ReplyLine::Prompt::None:
        return true;
    case ReplyLine::Prompt::Password:
        if (m_login == Login::Waking) {
            qCDebug(lcProtocol) << "password prompt";
            m_answeredFirstPrompt = !afterFailure;
            answerPrompt();
        } else if (!afterFailure) {
            // A new prompt without a verdict; one that follows "Password
            // Failed" belongs to it.
            passwordRefused(true);
        } else if (m_login == Login::Doubtful) {
            m_promptSinceRefusal = true;
            if (m_reanswerDue)
                reanswerPrompt();
        }
        return !m_closed;
    case ReplyLine::Prompt::LoginSuccessful:
        qCDebug(lcProtocol) << "logged in";
        m_login = Login::LoggedIn;
        m_timer.stop();
        m_awaiting = Awaiting::Nothing;
        queueGet(QStringLiteral("DEVICE/NAME"), true);
        queueGet(QStringLiteral("DEVICE/VER/SYSTEM"), false);
        // Whatever else has arrived with it is ignored.
        return false;
    case ReplyLine::Prompt::PasswordFailed:
        m_awaitingReply = false;
        m_afterFailure = true;
        if (m_login == Login::Waking) {
            // The unit took the wake-up for a password; the prompt that
            // follows asks for the real one.
            qCDebug(lcProtocol) << "\"Password Failed\" to the wake-up";
            return true;
        }
        passwordRefused(false);
        return !m_closed;
    }
    return true;
}

void MixerProtocol::answerPrompt()
{
    write(m_codec->fromUnicode(m_password), "<password>\r\n");
    m_awaitingReply = false;
    m_login = Login::Answered;
    expect(Awaiting::Verdict, QStringLiteral("the password"), m_replyTimeoutMs);
}

void MixerProtocol::passwordRefused(bool byPrompt)
{
    if (m_login == Login::Answered && m_answeredFirstPrompt) {
        // The prompt the password answered may have come on connect, before
        // the unit read the wake-up: this is then the wake-up's answer, and
        // the password's verdict is still to come. A unit that keeps its
        // input judges the password next, in about the time it took for
        // this refusal; writing the password again before that would reach
        // it as a second login or a command.
        const qint64 refusalMs = Deadline::now() - m_wakeUpAt;
        const int waitMs = reanswerWaitMs(refusalMs);
        qCDebug(lcProtocol) << "a refusal that may answer the wake-up, after" << refusalMs
                            << "ms: waiting" << waitMs << "ms for a verdict";
        m_login = Login::Doubtful;
        m_promptSinceRefusal = byPrompt;
        m_reanswerDue = false;
        m_graceLeftMs = m_passwordGraceMs - waitMs;
        expect(Awaiting::SecondVerdict, QStringLiteral("the password"), waitMs);
        return;
    }
    rejectPassword();
}

int MixerProtocol::reanswerWaitMs(qint64 refusalMs) const
{
    const qint64 wait = qMax<qint64>(kMinReanswerMs, 2 * refusalMs + kVerdictMarginMs);
    return int(qBound<qint64>(0, wait, m_passwordGraceMs));
}

void MixerProtocol::reanswerPrompt()
{
    qCDebug(lcProtocol) << "no verdict on the password: answering the new prompt once more";
    // The next refusal is the verdict on this password.
    m_answeredFirstPrompt = false;
    answerPrompt();
}

void MixerProtocol::rejectPassword()
{
    m_awaitingReply = false;
    m_login = Login::Waking;
    fail(QAbstractSocket::UnknownSocketError, QStringLiteral("The unit rejected the password."));
}

bool MixerProtocol::handleLine(const char *data, int size, quint32 session)
{
    const ReplyLine::Reply reply = ReplyLine::judgeLine(data, size);
    switch (reply.kind) {
    case ReplyLine::Reply::Ignored:
        return true;

    case ReplyLine::Reply::Notify:
        for (const QString &word : reply.words) {
            emit readyRead(word);
            if (session != m_session)
                return false;
        }
        return true;

    case ReplyLine::Reply::NotGood:
        m_replySeen = true;
        if (m_lastRaw.isEmpty()) {
            qCDebug(lcProtocol) << "NG with nothing to resend";
            emit sig_retry_times(-1);
            return session == m_session;
        }
        if (m_resendsInRow >= kMaxResends) {
            fail(QAbstractSocket::UnknownSocketError,
                 QStringLiteral("The unit kept answering NG to %1; gave up after %2 resends.")
                         .arg(rawSubject(m_lastRaw, m_lastRawNameLength))
                         .arg(kMaxResends));
            return false;
        }
        ++m_resendsInRow;
        qCDebug(lcTransfer) << "NG: resending" << rawSubject(m_lastRaw, m_lastRawNameLength)
                            << "time" << m_resendsInRow;
        m_commandInFlight = true;
        m_queryInFlight = false;
        write(m_lastRaw);
        expectRawReply(m_lastRaw, m_lastRawNameLength, m_replyTimeoutMs);
        ++m_replyCount;
        emit sig_retry_times(m_replyCount);
        return session == m_session;

    case ReplyLine::Reply::Acknowledged:
    case ReplyLine::Reply::Values:
    case ReplyLine::Reply::OtherOk:
        break;
    }

    m_lastRaw.clear();
    ++m_replyCount;
    m_resendsInRow = 0;
    m_replySeen = true;

    if (ReplyLine::acknowledges(reply, m_setWithWordsAcknowledges && m_commandInFlight)) {
        // The command is done: its receiver may send the next one at once.
        // Later lines of the same read are dropped (they cannot answer a
        // command that was not yet written).
        if (reply.kind == ReplyLine::Reply::Values)
            qCDebug(lcProtocol) << "acknowledged with" << reply.words;
        m_commandInFlight = false;
        m_awaitingReply = false;
        emit readyRead(QString());
        if (session == m_session)
            finishBlock();
        return false;
    }
    if (reply.kind == ReplyLine::Reply::Values) {
        for (const QString &word : reply.words) {
            emit readyRead(word);
            if (session != m_session)
                return false;
        }
    }
    return true;
}

void MixerProtocol::finishBlock()
{
    m_awaitingReply = false;
    while (!m_heldRaw.isEmpty() && !m_closed) {
        const QPair<QByteArray, int> held = m_heldRaw.takeFirst();
        writeRaw(held.first, held.second);
    }
    sendNextQueued();
}

void MixerProtocol::writeRaw(const QByteArray &block, int nameLength)
{
    m_lastRaw = block;
    m_lastRawNameLength = nameLength;
    m_resendsInRow = 0;
    m_commandInFlight = true;
    m_queryInFlight = false;
    write(block);
    const int ms = m_nextReplyTimeoutMs > 0 ? m_nextReplyTimeoutMs : m_replyTimeoutMs;
    m_nextReplyTimeoutMs = 0;
    expectRawReply(block, nameLength, ms);
}

void MixerProtocol::write(const QByteArray &bytes, const char *logAs)
{
    if (socketState() == QAbstractSocket::UnconnectedState) {
        qCDebug(lcWire) << "-> (not connected, dropped)" << bytes.size() << "bytes";
        return;
    }
    qCDebug(lcWire) << "->" << (logAs ? QByteArray(logAs) : bytes);
    if (m_transport) {
        m_transport->write(bytes);
        return;
    }
    if (m_socket.write(bytes) < 0) {
        // Nothing is emitted for a failed unbuffered write; the next read
        // fails too and reports it, or the reply time-out does.
        qCDebug(lcProtocol) << "write failed:" << m_socket.errorString();
        return;
    }
    // Stop-and-wait: the unit answers nothing before it has all of it, so
    // the bytes go to the system now rather than at the next turn of the
    // event loop.
    if (!(m_socket.openMode() & QIODevice::Unbuffered))
        m_socket.flush();
}

void MixerProtocol::expect(Awaiting what, const QString &subject, int ms)
{
    m_awaiting = what;
    m_awaitedSubject = subject;
    m_awaitedRaw = false;
    m_awaitedBlock = QByteArray();
    m_replySeen = false;
    m_timer.start(ms);
}

void MixerProtocol::expectRawReply(const QByteArray &block, int nameLength, int ms)
{
    m_awaiting = Awaiting::Reply;
    m_awaitedRaw = true;
    m_awaitedBlock = block;
    m_awaitedNameLength = nameLength;
    m_replySeen = false;
    m_timer.start(ms);
}

void MixerProtocol::fail(QAbstractSocket::SocketError code, const QString &message)
{
    qCDebug(lcProtocol) << "giving up:" << message;
    endSession();
    m_commandQueue.clear();
    m_awaitingReply = false;
    m_closed = true;
    if (m_transport)
        m_transport->close();
    else
        m_socket.abort();
    emit errorSig(code, message);
}

void MixerProtocol::endSession()
{
    ++m_session;
    m_timer.stop();
    m_awaiting = Awaiting::Nothing;
    m_awaitedSubject.clear();
    m_awaitedRaw = false;
    m_awaitedBlock = QByteArray();
    m_replySeen = false;
    m_nextReplyTimeoutMs = 0;
    m_errorReported = false;
    m_pending.clear();
    m_skippingLine = false;
    m_afterCr = false;
    m_quietTimer.stop();
    m_setWithWordsAcknowledges = false;
    m_commandInFlight = false;
    m_queryInFlight = false;
    m_login = Login::Waking;
    m_answeredFirstPrompt = false;
    m_afterFailure = false;
    m_afterPromptText = false;
    m_promptSinceRefusal = false;
    m_reanswerDue = false;
    m_graceLeftMs = 0;
    m_sawLineEnd = false;
    m_heldRaw.clear();
}
