#include "protocol/mixerprotocol.h"

#include <QTextCodec>

// Placeholder bodies until the line-command client lands.
MixerProtocol::MixerProtocol(QObject *parent)
    : QObject(parent)
{
    m_codec = QTextCodec::codecForName("UTF-8");
}

MixerProtocol::~MixerProtocol() = default;

void MixerProtocol::connectToDevice(const QString &, const QString &) {}
void MixerProtocol::closeDevice() { m_closed = true; }
void MixerProtocol::queueGet(const QString &, bool) {}
void MixerProtocol::queueSet(const QString &) {}
void MixerProtocol::sendRaw(const QByteArray &) {}
QTextCodec *MixerProtocol::textCodec() const { return m_codec; }
void MixerProtocol::loginToServer() {}
void MixerProtocol::getData() {}
void MixerProtocol::closeConnection() {}
void MixerProtocol::slot_error(QAbstractSocket::SocketError) {}
void MixerProtocol::sendNextQueued() {}
