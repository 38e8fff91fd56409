#pragma once

// The whole updater in the calling process, built the way the entry builds it
// (engine, g_rootContext, the device table, "udpmachine", qrc:/main.qml), for
// end-to-end tests and benchmarks on the updater side of the network lab.
//
// Everything a technician does goes through the window: mouse clicks and key
// presses at window coordinates, wheel events to scroll the list. What the
// window shows is read from its item tree. Two logs record what happened on
// the way: every change of a card's progress text (as the card saw it), and
// every progress text the core sent to the list (toui_fwup_progress).

#include "common/resident.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class QQmlApplicationEngine;
class RunRecorder;
class QQuickItem;
class UdpMachineList;
class UdpMachineNode;

class UpdaterWindow : public QObject
{
    Q_OBJECT

public:
    struct TextEvent
    {
        qint64 ms; // since start()
        int tick; // the list's once-a-second timer count at that moment
        QString address;
        QString text;
    };

    UpdaterWindow();
    ~UpdaterWindow() override;

    // True when this process runs on the updater side of the lab and the only
    // interface the table would search on is the lab's own; otherwise false
    // with the reason. Nothing is built then.
    static bool labIsolated(QString *why);

    // Builds the updater and waits until its window is exposed.
    bool start(QString *why);
    // Tears it down in the entry's order: the table, then the engine.
    void stop();

    UdpMachineList *table() const { return m_table; }
    QQmlApplicationEngine *engine() const { return m_engine; }
    QQuickWindow *window() const { return m_window; }
    // The record of runs the window keeps, as the entry publishes it; its
    // history and reports go to a temporary folder of this object's own.
    RunRecorder *recorder() const { return m_recorder; }
    QString historyPath() const;
    QString reportFolder() const;
    // The table's record of a unit (internal access, for checks only).
    UdpMachineNode *record(const QString &address) const;
    qint64 elapsed() const { return m_clock.elapsed(); }

    // Cards, in row order.
    int cardCount() const;
    QQuickItem *card(int row) const;
    QQuickItem *card(const QString &address) const;
    QStringList cardAddresses() const;
    // The card's progress text; a null string when the unit has no card.
    QString cardText(const QString &address) const;
    bool hasCard(const QString &address) const { return card(address) != nullptr; }
    bool checkBoxVisible(const QString &address) const;
    // Waits until every address has a card.
    bool waitForCards(const QStringList &addresses, int timeoutMs);

    // Input at window coordinates.
    bool clickButton(const QString &caption);
    bool clickCheckBox(const QString &address);
    // Scrolls the list with wheel events until the card lies wholly inside it.
    bool scrollIntoView(QQuickItem *card);
    void typeText(const QString &text);
    // "Update selected units", clear the password field, type the password,
    // "Update" (all by mouse and keys). False if the dialog does not behave.
    // When the selection holds units that are not older than the image, the
    // plan that comes first is answered with "Update all selected" and what
    // it says of them kept for modelWarning().
    bool updateSelected(const QString &password);
    // The plan's "Not older: …" line at the last updateSelected(); empty
    // when none came.
    QString modelWarning() const { return m_modelWarning; }
    // Clicks the overlay's "Close".
    bool closeOverlay();

    // The progress overlay.
    bool overlayVisible() const;
    QString statusLine() const;
    QString successLine() const;
    QString failureLine() const;
    bool closeButtonVisible() const;
    bool waitForFinished(int timeoutMs);
    int tick() const;

    const QList<TextEvent> &cardTexts() const { return m_cardTexts; }
    const QList<TextEvent> &coreTexts() const { return m_coreTexts; }
    // Cards the list removed (text: the card's progress text at that moment).
    const QList<TextEvent> &removedCards() const { return m_removedCards; }
    QStringList cardTextsOf(const QString &address) const;
    QStringList coreTextsOf(const QString &address) const;
    void clearLogs();

    // Called for every progress text the core sends, before the list sees it.
    std::function<void(const QString &text, const QString &address)> onCoreText;

private slots:
    void slot_cardAdded(int index, QQuickItem *loader);
    void slot_cardRemoved(int index, QQuickItem *loader);
    void slot_cardTextChanged();
    void slot_coreText(const QString &text, const QString &address);

private:
    QQuickItem *itemNamed(const char *objectName) const;
    QQuickItem *visibleButton(const QString &caption) const;
    void watchCard(QQuickItem *card);
    void click(QQuickItem *item);

    QQmlApplicationEngine *m_engine = nullptr;
    UdpMachineList *m_table = nullptr;
    RunRecorder *m_recorder = nullptr;
    QTemporaryDir m_dataDir;
    QPointer<QQuickWindow> m_window;
    QObject *m_view = nullptr;
    QElapsedTimer m_clock;
    qint64 m_wheelTime = 0;
    QList<TextEvent> m_cardTexts;
    QList<TextEvent> m_coreTexts;
    QList<TextEvent> m_removedCards;
    QString m_modelWarning;
};
