#include "referenceclient.h"

ReferenceClient::ReferenceClient(Sim::Unit &unit, const QByteArray &image,
                                 const QByteArray &password)
    : m_unit(unit), m_image(image), m_password(password + "\r\n")
{
    m_unit.attach(this);
}

void ReferenceClient::write(const QByteArray &bytes)
{
    if (m_unit.isOpen())
        m_unit.clientWrite(bytes);
}

void ReferenceClient::connected()
{
    write("\r\n");
}

void ReferenceClient::closedByUnit()
{
    errors << QStringLiteral("ERROR: The remote host closed the connection");
}

void ReferenceClient::queue(const QByteArray &line, bool deferred)
{
    m_queue << line;
    if (!deferred)
        sendNextQueued();
}

void ReferenceClient::sendNextQueued()
{
    if (m_queue.isEmpty() || m_awaitingReply)
        return;
    m_awaitingReply = true;
    write(m_queue.takeFirst());
}

void ReferenceClient::received(const QByteArray &bytes)
{
    const QString block = QString::fromUtf8(
            bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0')));
    if (block.startsWith(QLatin1String("Entry Password"))
        || block.startsWith(QLatin1String("Enter Password"))) {
        ++passwordsWritten;
        write(m_password);
        m_awaitingReply = false;
        return;
    }
    if (block.startsWith(QLatin1String("Login Successful"))) {
        queue("GET DEVICE/NAME\r\n", true);
        queue("GET DEVICE/VER/SYSTEM\r\n", false);
        return;
    }
    if (block.startsWith(QLatin1String("Password Failed"))) {
        m_awaitingReply = false;
        return;
    }
    for (QString line : block.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        line.remove(QLatin1Char('\r'));
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString first = words.at(0).toUpper();
        if (first == QLatin1String("OK")) {
            m_lastRaw.clear();
            ++m_replyCount;
            const QString second = words.value(1).toUpper();
            if (second != QLatin1String("GET") && second != QLatin1String("SET"))
                continue;
            if (words.size() == 2) {
                m_awaitingReply = false;
                text(QString());
                break;
            }
            for (const QString &word : words.mid(2))
                text(word);
        } else if (first == QLatin1String("NOTIFY")) {
            for (const QString &word : words.mid(1))
                text(word);
        } else if (first == QLatin1String("NG")) {
            if (m_lastRaw.isEmpty()) {
                retry(-1);
            } else {
                write(m_lastRaw);
                retry(++m_replyCount);
            }
        }
    }
    m_awaitingReply = false;
    sendNextQueued();
}

void ReferenceClient::text(const QString &word)
{
    switch (m_runState) {
    case 1:
        m_runState = 2;
        sendData();
        return;
    case 2:
        if (m_sent == m_image.size()) {
            m_runState = 3;
            queue("SET UPDATE/SYSTEM:END\r\n", false);
        } else {
            sendData();
        }
        return;
    case 3:
        if (word.isEmpty()) {
            m_runState = 0;
            completed = true;
            return;
        }
        break;
    default:
        break;
    }
    if (word.startsWith(QLatin1String("DEVICE/VER/SYSTEM:"), Qt::CaseInsensitive)) {
        m_runState = 1;
        m_sent = 0;
        queue("SET UPDATE/SYSTEM:STA SIZE:" + QByteArray::number(m_image.size(), 16) + "\r\n",
              false);
    }
}

void ReferenceClient::sendData()
{
    const int n = qMin(512, m_image.size() - m_sent);
    m_lastRaw = "SET UPDATE/SYSTEM:BIN SIZE:" + QByteArray::number(n, 16) + " offset:"
            + QByteArray::number(m_sent, 16) + " bin:" + m_image.mid(m_sent, n) + "\r\n";
    write(m_lastRaw);
    m_sent += n;
}

void ReferenceClient::retry(int count)
{
    if (count < 0)
        errors << QStringLiteral("ERROR: Detected NG response from the unit.");
}
