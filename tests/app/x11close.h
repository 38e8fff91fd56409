#pragma once

#include <QByteArray>
#include <QString>

// Asks the top-level window with the given title on an X display to close, the
// way a window manager's close button does (WM_DELETE_WINDOW). Returns false
// when no such window appears within the time-out.
bool requestX11WindowClose(const QByteArray &display, const QString &title, int timeoutMs);
