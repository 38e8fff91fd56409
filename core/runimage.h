#pragma once

#include <QByteArray>
#include <QString>

// The firmware image a run wrote, as a record of the run names it: the model
// in its header, version and build as the window shows them, and the SHA-256
// of every byte (so that a report can be checked against a vendor's file).
struct RunImage
{
    QString model; // the NUL-padded name at the start of the image
    QString version; // "1.04"
    QString build; // "0119"
    QString sha256; // lower-case hexadecimal

    static RunImage fromImage(const QByteArray &image);
};
