#pragma once

#include <QByteArray>
#include <QString>

// Appends bytes to the end of a file (created if missing) and returns only
// once the operating system has been asked to put them on the disk, so that a
// crash or a power cut right afterwards keeps them. False with the system's
// reason when the file cannot be opened or written.
bool appendDurably(const QString &path, const QByteArray &bytes, QString *error);
