#pragma once

#include <QImage>
#include <QPixmap>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>

// What the window really shows. The offscreen platform cannot hand the
// software scene graph's frame to QQuickWindow::grabWindow(), but its screen
// composes every window's backing store, which is what we want to check.
inline QImage grabFrame(QQuickWindow *window)
{
    window->requestUpdate();
    QTest::qWait(30);
    return window->screen()->grabWindow(window->winId()).toImage();
}
