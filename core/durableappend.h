#pragma once

#include <QByteArray>
#include <QString>

// Appends one line to the end of a file (created if missing) that several
// programs may append to at the same time (the window and kvx-update share
// the run history), and returns only once the operating system has been asked
// to put it on the disk, so that a crash or a power cut right afterwards
// keeps it.
//
// The line goes in whole and alone: the file is locked for the one append
// (flock on POSIX, LockFileEx on Windows) and written in append mode, so no
// other writer's line lands inside it or overwrites it. If the file does not
// end with a line end (a line a crash cut off), one goes first, so that the
// new line is not glued to the damaged one. When the append created the file,
// its folder is synced too, or the file itself could vanish with a power cut.
//
// False with the system's reason when the file cannot be opened or written.
bool appendDurably(const QString &path, const QByteArray &line, QString *error);
