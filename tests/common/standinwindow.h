#pragma once

// The shipped main window (qrc:/main.qml) on the stand-in core, with the
// context the entry gives it, for C++ tests and benchmarks that drive the
// window themselves. The list's once-a-second timer is stopped unless asked
// for: the caller steps the scheduler when it wants a tick.
//
//     StandInWindow w;
//     QVERIFY2(w.window(), qPrintable(w.errorString()));
//     w.core().addUnit(QStringLiteral("10.77.0.10"));
//     QQuickItem *box = w.check(0);

#include "common/standincore.h"

#include <QString>

#include <memory>

class QObject;
class QQmlApplicationEngine;
class QQuickItem;
class QQuickWindow;

class StandInWindow
{
public:
    enum Ticks { TicksStopped, TicksRunning };

    // With a run recorder, the window has it as "runrecorder", as the
    // program's does.
    explicit StandInWindow(Ticks ticks = TicksStopped, QObject *runRecorder = nullptr);
    ~StandInWindow();
    StandInWindow(const StandInWindow &) = delete;
    StandInWindow &operator=(const StandInWindow &) = delete;

    StandInCore &core() { return m_core; }
    // Null when main.qml did not load (errorString() says why).
    QQuickWindow *window() const { return m_window; }
    QString errorString() const { return m_error; }
    // The list (id_view_udplist).
    QObject *view() const { return m_view; }

    // A row's card and its selection box; null past the last row.
    QQuickItem *card(int row) const;
    QQuickItem *check(int row) const;
    // The first visible item, dialogs and overlay included, whose property
    // `name` reads `value` (a button by its m_text, say).
    QQuickItem *visibleItem(const char *name, const QString &value) const;

private:
    StandInCore m_core;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
    QObject *m_view = nullptr;
    QString m_error;
};
