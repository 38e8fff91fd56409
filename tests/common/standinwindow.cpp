#include "standinwindow.h"

#include "core/passwordaccessible.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>

StandInWindow::StandInWindow(Ticks ticks, QObject *runRecorder)
    : m_engine(new QQmlApplicationEngine)
{
    Q_INIT_RESOURCE(assets);
    // As the program does.
    PasswordAccessible::install();
    m_core.publishTo(m_engine->rootContext());
    if (runRecorder)
        m_engine->rootContext()->setContextProperty(QStringLiteral("runrecorder"), runRecorder);
    m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().value(0));
    m_view = m_window ? m_window->findChild<QObject *>(QStringLiteral("id_view_udplist")) : nullptr;
    QObject *timer = m_view ? m_view->findChild<QObject *>(QStringLiteral("id_timer")) : nullptr;
    if (!m_window || !m_view || !timer) {
        m_error = QStringLiteral("qrc:/main.qml gave no window with a device list");
        m_window = nullptr;
        return;
    }
    timer->setProperty("running", ticks == TicksRunning);
}

StandInWindow::~StandInWindow() = default;

QQuickItem *StandInWindow::card(int row) const
{
    QVariant result;
    if (!m_view)
        return nullptr;
    QMetaObject::invokeMethod(m_view, "cardAt", Q_RETURN_ARG(QVariant, result),
                              Q_ARG(QVariant, row));
    return qvariant_cast<QQuickItem *>(result);
}

QQuickItem *StandInWindow::check(int row) const
{
    QQuickItem *c = card(row);
    return c ? c->findChild<QQuickItem *>(QStringLiteral("id_check")) : nullptr;
}

QQuickItem *StandInWindow::visibleItem(const char *name, const QString &value) const
{
    if (!m_window)
        return nullptr;
    // The visual tree: the dialogs live in the window's overlay layer.
    QList<QQuickItem *> pending{ m_window->contentItem() };
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (item->isVisible() && item->property(name).toString() == value)
            return item;
        pending += item->childItems();
    }
    return nullptr;
}
