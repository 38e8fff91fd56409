#pragma once

#include <QByteArray>
#include <QString>

// Where a MixerProtocol's bytes go instead of its TCP socket: a simulated
// unit in a test. The transport reports back through the client's own entry
// points: loginToServer() once connected, handleReceived() for every read,
// slot_error() for a failure or a close by the unit.
class LineTransport
{
public:
    virtual ~LineTransport() = default;
    virtual void open() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    virtual void close() = 0;
    virtual bool isConnected() const = 0;
    virtual QString errorString() const = 0;
};
