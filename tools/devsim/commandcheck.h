#pragma once

#include "commandreader.h"

// A frame read after login, recognised tolerantly and compared byte for byte
// with the exact form the unit expects; every difference is a violation.
struct DeviceCommand
{
    enum Kind { GetName, GetVersion, Start, Data, End, Unknown };
    Kind kind = Unknown;
    quint32 size = 0; // Start: the announced image size; Data: the block size
    quint32 offset = 0; // Data: the block offset
    QStringList violations;
};

DeviceCommand judgeCommand(const DeviceFrame &frame);

// The exact bytes of each command, without its CR LF.
QByteArray exactStartCommand(quint32 size);
QByteArray exactDataHeader(quint32 size, quint32 offset);
