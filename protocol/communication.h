#pragma once

#include "protocol/mixerprotocol.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One firmware update run on one unit: announce the image size, send the image
// in data commands of at most 512 bytes, end the update, wait for the unit's
// final acknowledgement, and report every step as a progress text.
class Communication : public QObject
{
    Q_OBJECT

public:
    explicit Communication(QObject *parent = nullptr);
    ~Communication() override;

    void startUpdate(const QByteArray *image);
    void stopUpdate();
    // Emits fwup_progress with the text and m_deviceAddress.
    void reportProgress(const QString &text);

    MixerProtocol m_protocol;
    QString m_deviceAddress;
    const QByteArray *m_image = nullptr;
    QString m_deviceName;
    QString m_fwVersion;
    QString m_fwBuild;
    qint32 m_runState = 0;
    qint32 m_sentBytes = 0;
    QString m_lastProgress;

signals:
    void fwup_initCompleted();
    void fwup_progress(QString arg_progress, QString arg_ipaddr);
    void sig_notifyMessage(QString arg_message);

public slots:
    void recievedData(QString);
    void error(QAbstractSocket::SocketError, QString errMessage);
    void slot_retry_times(int retry_times);
};
