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

    // Links m_protocol's replies, failures and resend counts to this run, at
    // most once however often it is called; stopUpdate() severs the links.
    void linkProtocol();
    void startUpdate(const QByteArray *image);
    void stopUpdate();
    // Emits fwup_progress with the text and m_deviceAddress.
    void reportProgress(const QString &text);

    // Image bytes carried by one data command at most.
    static constexpr int kChunkSize = 512;

    // The data command for `size` image bytes at `offset`: its text, the bytes
    // unchanged, CR LF. Sizes and offsets in lower-case hexadecimal.
    // nameLength receives the length of the text before " bin:", which names
    // the command in failure texts.
    static QByteArray dataCommand(const QByteArray &image, int offset, int size,
                                  int *nameLength = nullptr);
    // sent * 100 / total, truncated; 64-bit so that large images cannot overflow.
    static int percentOf(qint64 sent, qint64 total);

    MixerProtocol m_protocol;
    QString m_deviceAddress;
    const QByteArray *m_image = nullptr;
    QString m_deviceName;
    QString m_fwVersion;
    QString m_fwBuild;
    qint32 m_runState = 0;
    qint32 m_sentBytes = 0;
    QString m_lastProgress;
    int m_lastProgressPercent = -1; // the percent m_lastProgress shows, -1 for none

    // How long the unit may take to acknowledge a flash operation: the start
    // command (it may erase first) and the end command (it writes). A member
    // so that tests can shorten it.
    int m_finalAckTimeoutMs = 5 * 60 * 1000;

signals:
    void fwup_initCompleted();
    void fwup_progress(QString arg_progress, QString arg_ipaddr);
    void sig_notifyMessage(QString arg_message);

public slots:
    void recievedData(QString);
    void error(QAbstractSocket::SocketError, QString errMessage);
    void slot_retry_times(int retry_times);

private:
    void sendNextData();
    void sendEnd();
    void endRun(const QString &errorText);
    void readValue(const QString &text);
};
