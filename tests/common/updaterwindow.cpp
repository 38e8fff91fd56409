#include "common/updaterwindow.h"

#include "core/programversion.h"
#include "core/rootcontext.h"
#include "core/runrecorder.h"
#include "common/isolation.h"
#include "common/lab.h"
#include "common/qmlsignal.h"
#include "device/udpmachinenode.h"
#include "discovery/ssdpsearch.h"
#include "discovery/udpmm.h"

#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMetaProperty>
#include <QNetworkInterface>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QWheelEvent>

UpdaterWindow::UpdaterWindow() = default;

UpdaterWindow::~UpdaterWindow()
{
    stop();
}

bool UpdaterWindow::labIsolated(QString *why)
{
    if (!labAvailable()) {
        *why = QStringLiteral("not inside the network lab (tools/netlab)");
        return false;
    }
    return onlyTheLabInterfaceQualifies(why);
}

bool UpdaterWindow::start(QString *why)
{
    stop();
    if (!labIsolated(why))
        return false;
    // The list writes every node message to the console; with dozens of
    // units that drowns a test's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("qml.debug=false\njs.debug=false"));

    m_clock.start();
    m_engine = new QQmlApplicationEngine;
    g_rootContext = m_engine->rootContext();
    m_table = new UdpMachineList;
    connect(m_table, &UdpMachineList::toui_fwup_progress, this, &UpdaterWindow::slot_coreText);
    m_engine->rootContext()->setContextProperty(QStringLiteral("udpmachine"), m_table);
    m_recorder = new RunRecorder(QStringLiteral("kvx-updater ") + programVersion());
    m_recorder->setImage(m_table->binfile());
    m_recorder->setHistory(RunHistory(historyPath()));
    m_recorder->setReportFolder(reportFolder());
    m_engine->rootContext()->setContextProperty(QStringLiteral("runrecorder"), m_recorder);
    m_engine->load(QUrl(QStringLiteral("qrc:/main.qml"), QUrl::TolerantMode));
    if (m_engine->rootObjects().size() != 1) {
        *why = QStringLiteral("qrc:/main.qml did not load");
        return false;
    }
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    if (!m_window) {
        *why = QStringLiteral("the root object is not a window");
        return false;
    }
    m_view = m_window->findChild<QObject *>(QStringLiteral("id_view_udplist"));
    QObject *repeater = m_window->findChild<QObject *>(QStringLiteral("menuRepeater"));
    if (!m_view || !repeater) {
        *why = QStringLiteral("the device list is missing");
        return false;
    }
    connect(repeater, qmlSignal(repeater, "itemAdded(int,QQuickItem*)"), this,
            qmlSlot(this, "slot_cardAdded(int,QQuickItem*)"));
    connect(repeater, qmlSignal(repeater, "itemRemoved(int,QQuickItem*)"), this,
            qmlSlot(this, "slot_cardRemoved(int,QQuickItem*)"));
    for (int i = 0; i < cardCount(); ++i)
        watchCard(card(i));
    if (!QTest::qWaitForWindowExposed(m_window)) {
        *why = QStringLiteral("the window was not exposed");
        return false;
    }
    return true;
}

void UpdaterWindow::stop()
{
    // The entry's order: the table goes first, then the engine.
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    delete m_table;
    m_table = nullptr;
    delete m_engine;
    m_engine = nullptr;
    delete m_recorder;
    m_recorder = nullptr;
    g_rootContext = nullptr;
    m_view = nullptr;
    // A hook set for one updater must not outlive it (it usually captures
    // the caller's locals).
    onCoreText = nullptr;
    clearLogs();
}

QString UpdaterWindow::historyPath() const
{
    return m_dataDir.filePath(QStringLiteral("data/runs.jsonl"));
}

QString UpdaterWindow::reportFolder() const
{
    return m_dataDir.filePath(QStringLiteral("Documents"));
}

UdpMachineNode *UpdaterWindow::record(const QString &address) const
{
    if (!m_table)
        return nullptr;
    for (UdpMachineNode *node : m_table->nodes()) {
        if (node->m_ipaddr == address)
            return node;
    }
    return nullptr;
}

int UpdaterWindow::cardCount() const
{
    QObject *repeater =
            m_window ? m_window->findChild<QObject *>(QStringLiteral("menuRepeater")) : nullptr;
    return repeater ? repeater->property("count").toInt() : 0;
}

QQuickItem *UpdaterWindow::card(int row) const
{
    if (!m_view)
        return nullptr;
    QVariant result;
    QMetaObject::invokeMethod(m_view, "cardAt", Q_RETURN_ARG(QVariant, result),
                              Q_ARG(QVariant, row));
    return qvariant_cast<QQuickItem *>(result);
}

QQuickItem *UpdaterWindow::card(const QString &address) const
{
    const int n = cardCount();
    for (int i = 0; i < n; ++i) {
        QQuickItem *c = card(i);
        if (c && c->property("m_ipaddr").toString() == address)
            return c;
    }
    return nullptr;
}

QStringList UpdaterWindow::cardAddresses() const
{
    QStringList addresses;
    const int n = cardCount();
    for (int i = 0; i < n; ++i) {
        QQuickItem *c = card(i);
        addresses << (c ? c->property("m_ipaddr").toString() : QString());
    }
    return addresses;
}

QString UpdaterWindow::cardText(const QString &address) const
{
    QQuickItem *c = card(address);
    return c ? c->property("m_msg").toString() : QString();
}

bool UpdaterWindow::checkBoxVisible(const QString &address) const
{
    QQuickItem *c = card(address);
    QQuickItem *check = c ? c->findChild<QQuickItem *>(QStringLiteral("id_check")) : nullptr;
    return check && check->isVisible();
}

bool UpdaterWindow::waitForCards(const QStringList &addresses, int timeoutMs)
{
    return labWaitUntil(
            [&] {
                const QStringList shown = cardAddresses();
                for (const QString &a : addresses) {
                    if (!shown.contains(a))
                        return false;
                }
                return true;
            },
            timeoutMs);
}

QQuickItem *UpdaterWindow::itemNamed(const char *objectName) const
{
    return m_window ? m_window->findChild<QQuickItem *>(QLatin1String(objectName)) : nullptr;
}

QQuickItem *UpdaterWindow::visibleButton(const QString &caption) const
{
    // Buttons live in the window and in its overlay layer (the dialogs):
    // walk the visual tree, the only tree that holds both.
    QList<QQuickItem *> pending{ m_window->contentItem() };
    if (QQuickItem *overlay = m_window->contentItem()->parentItem())
        pending = { overlay };
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (!item->isVisible())
            continue;
        if (item->property("m_text").toString() == caption)
            return item;
        pending += item->childItems();
    }
    return nullptr;
}

void UpdaterWindow::click(QQuickItem *item)
{
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

bool UpdaterWindow::clickButton(const QString &caption)
{
    QQuickItem *button = visibleButton(caption);
    if (!button)
        return false;
    click(button);
    return true;
}

bool UpdaterWindow::scrollIntoView(QQuickItem *target)
{
    QQuickItem *flickable = itemNamed("id_flickable");
    if (!target || !flickable)
        return false;
    const QPoint over =
            flickable->mapToScene(QPointF(flickable->width() / 2, flickable->height() / 2))
                    .toPoint();
    auto inView = [&] {
        const QRectF r =
                target->mapRectToItem(flickable, QRectF(0, 0, target->width(), target->height()));
        return r.top() >= 0 && r.bottom() <= flickable->height() + 0.5;
    };
    for (int attempt = 0; attempt < 400; ++attempt) {
        const bool moving = flickable->property("moving").toBool();
        if (!moving && inView())
            return true;
        const QRectF r =
                target->mapRectToItem(flickable, QRectF(0, 0, target->width(), target->height()));
        const bool within = r.top() >= 0 && r.bottom() <= flickable->height() + 0.5;
        if (!within) {
            // One notch of the wheel, towards the card; a quick train of
            // them speeds the list up the way a hand on the wheel does.
            const int notch = r.top() < 0 ? 120 : -120;
            QWheelEvent wheel(QPointF(over), QPointF(m_window->mapToGlobal(over)), QPoint(),
                              QPoint(0, notch), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            // The list works out the wheel's speed from the events' time
            // stamps; events without one all look simultaneous and are refused.
            wheel.setTimestamp(ulong(++m_wheelTime + m_clock.elapsed()));
            QGuiApplication::sendEvent(m_window, &wheel);
        }
        QTest::qWait(within ? 50 : 20);
    }
    return false;
}

bool UpdaterWindow::clickCheckBox(const QString &address)
{
    QQuickItem *c = card(address);
    if (!c || !scrollIntoView(c))
        return false;
    QQuickItem *check = c->findChild<QQuickItem *>(QStringLiteral("id_check"));
    if (!check || !check->isVisible())
        return false;
    click(check);
    return true;
}

void UpdaterWindow::typeText(const QString &text)
{
    for (const QChar ch : text)
        QTest::keyClick(m_window, ch.toLatin1());
}

bool UpdaterWindow::updateSelected(const QString &password)
{
    QObject *dialog = m_window->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QObject *warning = m_window->findChild<QObject *>(QStringLiteral("id_popup_plan"));
    QQuickItem *field = itemNamed("id_passwd");
    m_modelWarning.clear();
    if (!dialog || !warning || !field || !clickButton(QStringLiteral("Update selected units")))
        return false;
    if (warning->property("visible").toBool()) {
        if (!labWaitUntil([&] { return warning->property("opened").toBool(); }, 3000))
            return false;
        QQuickItem *text = itemNamed("id_text_plan_rest");
        m_modelWarning = text ? text->property("text").toString() : QStringLiteral("?");
        if (!clickButton(QStringLiteral("Update all selected")))
            return false;
    }
    if (!labWaitUntil(
                [&] { return dialog->property("opened").toBool() && field->hasActiveFocus(); },
                3000))
        return false;
    // The field keeps its text from one opening to the next.
    QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_window, Qt::Key_Backspace);
    typeText(password);
    if (field->property("text").toString() != password)
        return false;
    if (!clickButton(QStringLiteral("Update")))
        return false;
    return !dialog->property("visible").toBool()
            || labWaitUntil([&] { return !dialog->property("visible").toBool(); }, 3000);
}

bool UpdaterWindow::closeOverlay()
{
    QQuickItem *close = itemNamed("id_button_close");
    if (!close || !close->isVisible())
        return false;
    click(close);
    return labWaitUntil([this] { return !overlayVisible(); }, 3000);
}

bool UpdaterWindow::overlayVisible() const
{
    QQuickItem *overlay = itemNamed("id_popup_progress");
    return overlay && overlay->isVisible();
}

QString UpdaterWindow::statusLine() const
{
    QQuickItem *item = itemNamed("id_text_status");
    return item ? item->property("text").toString() : QString();
}

QString UpdaterWindow::successLine() const
{
    QQuickItem *item = itemNamed("id_text_ok");
    return item ? item->property("text").toString() : QString();
}

QString UpdaterWindow::failureLine() const
{
    QQuickItem *item = itemNamed("id_text_ng");
    return item ? item->property("text").toString() : QString();
}

bool UpdaterWindow::closeButtonVisible() const
{
    QQuickItem *close = itemNamed("id_button_close");
    return close && close->isVisible();
}

bool UpdaterWindow::waitForFinished(int timeoutMs)
{
    return labWaitUntil(
            [this] {
                return overlayVisible() && closeButtonVisible()
                        && statusLine() == QLatin1String("Finished.");
            },
            timeoutMs);
}

int UpdaterWindow::tick() const
{
    QObject *timer =
            m_window ? m_window->findChild<QObject *>(QStringLiteral("id_timer")) : nullptr;
    return timer ? timer->property("m_count").toInt() : -1;
}

QStringList UpdaterWindow::cardTextsOf(const QString &address) const
{
    QStringList texts;
    for (const TextEvent &e : m_cardTexts) {
        if (e.address == address)
            texts << e.text;
    }
    return texts;
}

QStringList UpdaterWindow::coreTextsOf(const QString &address) const
{
    QStringList texts;
    for (const TextEvent &e : m_coreTexts) {
        if (e.address == address)
            texts << e.text;
    }
    return texts;
}

void UpdaterWindow::clearLogs()
{
    m_cardTexts.clear();
    m_coreTexts.clear();
    m_removedCards.clear();
}

void UpdaterWindow::slot_cardAdded(int, QQuickItem *loader)
{
    // The loader instantiates its card synchronously.
    watchCard(qvariant_cast<QQuickItem *>(loader->property("item")));
}

void UpdaterWindow::slot_cardRemoved(int, QQuickItem *loader)
{
    // Still whole: the repeater reports a removal before it destroys the row.
    auto *c = qvariant_cast<QQuickItem *>(loader->property("item"));
    if (c)
        m_removedCards.append({ m_clock.elapsed(), tick(), c->property("m_ipaddr").toString(),
                                c->property("m_msg").toString() });
}

void UpdaterWindow::watchCard(QQuickItem *c)
{
    if (!c)
        return;
    const QMetaObject *meta = c->metaObject();
    const int index = meta->indexOfProperty("m_msg");
    if (index < 0)
        return;
    const QMetaMethod notify = meta->property(index).notifySignal();
    const QMetaMethod slot =
            metaObject()->method(metaObject()->indexOfSlot("slot_cardTextChanged()"));
    connect(c, notify, this, slot);
}

void UpdaterWindow::slot_cardTextChanged()
{
    auto *c = qobject_cast<QQuickItem *>(sender());
    if (!c)
        return;
    m_cardTexts.append({ m_clock.elapsed(), tick(), c->property("m_ipaddr").toString(),
                         c->property("m_msg").toString() });
}

void UpdaterWindow::slot_coreText(const QString &text, const QString &address)
{
    m_coreTexts.append({ m_clock.elapsed(), tick(), address, text });
    if (onCoreText)
        onCoreText(text, address);
}
