#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>

class QTextCodec;

// Client side of a unit's TCP line-command protocol: connect, log in, read the
// unit's name and version, send queued GET/SET lines one at a time and raw data
// blocks, judge every reply line, resend a raw block on NG.
class MixerProtocol : public QObject
{
    Q_OBJECT

public:
    explicit MixerProtocol(QObject *parent = nullptr);
    ~MixerProtocol() override;

    void connectToDevice(const QString &host, const QString &password);
    void closeDevice();
    void queueGet(const QString &command, bool deferred = false);
    void queueSet(const QString &command);
    void sendRaw(const QByteArray &block);
    QTextCodec *textCodec() const;

signals:
    void readyRead(QString);
    void errorSig(QAbstractSocket::SocketError, QString errMessage);
    void sig_retry_times(int retry_times);

public slots:
    void loginToServer();
    void getData();
    void closeConnection();
    void slot_error(QAbstractSocket::SocketError socketError);

private:
    void sendNextQueued();

    QTcpSocket m_socket;
    QString m_password;
    QStringList m_commandQueue;
    bool m_awaitingReply = false;
    QTextCodec *m_codec = nullptr;
    bool m_closed = false;
    QByteArray m_lastRaw;
    qint32 m_replyCount = 0;
};
