#include "simunit.h"

namespace Sim {

static constexpr int kLatencyMs = 1;

Unit::Unit(VirtualClock &clock, const Behaviour &behaviour)
    : m_clock(clock), m_b(behaviour), m_random(behaviour.seed)
{
}

void Unit::later(int ms, std::function<void()> what)
{
    m_clock.schedule(ms, [this, what] {
        if (m_open)
            what();
    });
}

void Unit::connect()
{
    m_open = true;
    later(kLatencyMs, [this] {
        m_client->connected();
        if (m_b.login != Login::AfterWakeUp) {
            ++m_prompts;
            reply("Enter Password:");
        }
    });
}

void Unit::clientWrite(const QByteArray &bytes)
{
    bytesFromClient += bytes.size();
    later(kLatencyMs, [this, bytes] {
        m_input += bytes;
        take();
    });
}

// Lines one at a time, as a unit's command loop reads them.
void Unit::take()
{
    while (m_open && !m_busy) {
        if (m_loggedIn) {
            if (!takeCommand())
                return;
            continue;
        }
        const int lf = m_input.indexOf('\n');
        if (lf < 0)
            return;
        QByteArray line = m_input.left(lf);
        m_input.remove(0, lf + 1);
        line.replace("\r", "");
        password(line);
    }
}

void Unit::password(const QByteArray &line)
{
    if (m_b.login == Login::AfterWakeUp && !m_awake) {
        m_awake = true;
        ++m_prompts;
        reply("Enter Password:");
        return;
    }
    if (m_prompts == 0)
        ++unaskedPasswords;
    m_prompts = 0;
    m_busy = true;
    later(m_b.verdictMs, [this, line] {
        m_busy = false;
        Refusal refusal = m_b.refusal;
        if (line.isEmpty()) // the wake-up taken for a password
            refusal = m_b.login == Login::OnConnectFailed ? Refusal::FailedAndPrompt
                                                          : Refusal::NewPrompt;
        else if (line == kPassword)
            refusal = Refusal::None;
        if (refusal != Refusal::None && m_b.dropsInput)
            m_input.clear();
        switch (refusal) {
        case Refusal::None:
            m_loggedIn = true;
            reply("Login Successful");
            break;
        case Refusal::FailedAndPrompt:
            reply("Password Failed");
            ++m_prompts;
            reply("Enter Password:");
            break;
        case Refusal::NewPrompt:
            ++m_prompts;
            reply("Enter Password:");
            break;
        case Refusal::Silence:
            break;
        case Refusal::HangUp:
            reply("Password Failed");
            hangUp();
            return;
        }
        take();
    });
}

// Returns false until a whole command has arrived.
bool Unit::takeCommand()
{
    static const QByteArray bin = "SET UPDATE/SYSTEM:BIN SIZE:";
    const QByteArray words = m_b.ackWords ? " UPDATE/SYSTEM" : "";
    if (m_input.startsWith(bin)) {
        const int at = m_input.indexOf(" bin:");
        if (at < 0)
            return false;
        const QByteArray head = m_input.left(at);
        const QList<QByteArray> parts = head.mid(bin.size()).split(' ');
        const int size = parts.value(0).toInt(nullptr, 16);
        const int offset = parts.value(1).mid(7).toInt(nullptr, 16);
        if (m_input.size() < at + 5 + size + 2)
            return false;
        if (image.size() < offset + size)
            image.resize(offset + size);
        image.replace(offset, size, m_input.mid(at + 5, size));
        commands << head + " +" + QByteArray::number(size) + m_input.mid(at + 5 + size, 2);
        m_input.remove(0, at + 5 + size + 2);
        reply("OK SET" + words + ":BIN");
        return true;
    }
    const int lf = m_input.indexOf('\n');
    if (lf < 0)
        return false;
    const QByteArray line = m_input.left(lf + 1);
    m_input.remove(0, lf + 1);
    if (line == "\r\n")
        return true;
    commands << line;
    if (line == QByteArray(kPassword) + "\r\n") {
        ++unaskedPasswords;
        reply("NG");
    } else if (line == "GET DEVICE/NAME\r\n") {
        reply("OK GET DEVICE/NAME:\"KVX-Stage\"");
    } else if (line == "GET DEVICE/VER/SYSTEM\r\n") {
        reply("OK GET DEVICE/VER/SYSTEM:V1.04B0119");
    } else if (line.startsWith("SET UPDATE/SYSTEM:STA SIZE:")) {
        reply("OK SET" + words + ":STA");
    } else if (line == "SET UPDATE/SYSTEM:END\r\n") {
        endAcknowledged = true;
        reply("OK SET");
    } else {
        reply("NG");
    }
    return true;
}

void Unit::reply(const QByteArray &text)
{
    QByteArray bytes = text;
    if (!m_b.ackWords)
        bytes.replace(":BIN", "").replace(":STA", "");
    bytes += m_b.lineEnd;
    switch (m_b.cuts) {
    case Cuts::Whole:
        deliver(bytes);
        return;
    case Cuts::Bytes:
        for (char c : bytes)
            deliver(QByteArray(1, c));
        return;
    case Cuts::Random:
        for (int at = 0; at < bytes.size();) {
            const int n = m_b.cutLengths.isEmpty()
                    ? 1 + int(m_random() % 8)
                    : qMax(1, int(uchar(m_b.cutLengths.at(m_nextCut++ % m_b.cutLengths.size()))));
            deliver(bytes.mid(at, n));
            at += n;
        }
        return;
    case Cuts::Bunched:
        // Everything said within the latency reaches the client in one read.
        if (m_bunch.isEmpty())
            m_clock.schedule(kLatencyMs, [this] {
                const QByteArray all = m_bunch;
                m_bunch.clear();
                if (m_open)
                    m_client->received(all);
            });
        m_bunch += bytes;
        return;
    }
}

void Unit::deliver(const QByteArray &bytes)
{
    later(kLatencyMs, [this, bytes] { m_client->received(bytes); });
}

void Unit::hangUp()
{
    later(kLatencyMs + 1, [this] {
        m_open = false;
        m_client->closedByUnit();
    });
}

} // namespace Sim
