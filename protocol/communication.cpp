#include "protocol/communication.h"

// Placeholder bodies until the firmware transfer lands.
Communication::Communication(QObject *parent)
    : QObject(parent)
{
}

Communication::~Communication() = default;

void Communication::startUpdate(const QByteArray *image) { m_image = image; }

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

void Communication::recievedData(QString) {}
void Communication::error(QAbstractSocket::SocketError, QString) {}
void Communication::slot_retry_times(int) {}
