#pragma once

// The one piece of product code under test in the client-floor test and its
// fuzz harness, so that both drive the client exactly alike.

#include "protocol/communication.h"
#include "protocol/linetransport.h"

#include "simunit.h"

#include <QRegularExpression>

namespace Sim {

// The updater's client and transfer on the simulated network, wired the way a
// device record wires them for a run.
class OurClient : public ClientEnd, public LineTransport
{
public:
    OurClient(Unit &unit, const QByteArray &image, const QByteArray &password)
        : m_unit(unit), m_image(image)
    {
        m_unit.attach(this);
        MixerProtocol &protocol = m_comm.m_protocol;
        protocol.setTransport(this);
        m_comm.linkProtocol();
        QObject::connect(&m_comm, &Communication::fwup_initCompleted, &m_comm,
                         [this] { m_comm.startUpdate(&m_image); });
        QObject::connect(&m_comm, &Communication::fwup_progress, &m_comm,
                         [this](const QString &text) { texts << text; });
        QObject::connect(&m_comm, &Communication::sig_notifyMessage, &m_comm,
                         [this] { m_comm.stopUpdate(); });
        m_comm.m_deviceAddress = QStringLiteral("127.0.0.1");
        protocol.connectToDevice(QStringLiteral("127.0.0.1:54726"), QString::fromLatin1(password));
    }
    ~OurClient() override { m_comm.m_protocol.setTransport(nullptr); }

    void open() override { m_unit.connect(); }
    void write(const QByteArray &bytes) override { m_unit.clientWrite(bytes); }
    void close() override
    {
        m_connected = false;
        m_unit.clientClose();
    }
    bool isConnected() const override { return m_connected; }
    QString errorString() const override
    {
        return QStringLiteral("The remote host closed the connection");
    }

    void connected() override
    {
        m_connected = true;
        m_comm.m_protocol.loginToServer();
    }
    void received(const QByteArray &bytes) override { m_comm.m_protocol.handleReceived(bytes); }
    void closedByUnit() override
    {
        m_connected = false;
        m_comm.m_protocol.slot_error(QAbstractSocket::RemoteHostClosedError);
    }

    QStringList errors() const
    {
        return texts.filter(QRegularExpression(QStringLiteral("^ERROR: ")));
    }
    int completions() const { return texts.count(QStringLiteral("Firmware update completed.")); }
    bool completed() const { return completions() > 0; }

    QStringList texts;

private:
    Unit &m_unit;
    QByteArray m_image;
    Communication m_comm;
    bool m_connected = false;
};

} // namespace Sim
