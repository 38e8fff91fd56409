#include "common/grab.h"
#include "common/standinwindow.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <memory>

// The shipped main window with the stand-in core, driven the way a technician
// drives it: mouse clicks and key presses at window coordinates. Checks what
// the core is asked to do and what the window shows.
class TestUpdateFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void checkBoxPixels();
    void selectAllUpdateByMouseAndKeys();
    void overlayShowsRunEnd();
    void everyTextIsPlain();
    void consoleLines();
    void dialogsLeaveNothingBehind_data();
    void dialogsLeaveNothingBehind();

private:
    QQuickItem *visibleItemWithProperty(const char *name, const QString &value) const
    {
        return m_w->visibleItem(name, value);
    }
    QQuickItem *itemNamed(const QString &name) const;
    QQuickItem *card(int row) const { return m_w->card(row); }
    void click(QQuickItem *item, QPointF at = QPointF(-1, -1));
    QString pixel(QPointF at);

    std::unique_ptr<StandInWindow> m_w;
    QQuickWindow *m_window = nullptr;
};

static QString address(int i)
{
    return QStringLiteral("10.77.0.%1").arg(10 + i);
}

void TestUpdateFlow::initTestCase()
{
    // The scheduler ticks as in the program: the run below waits for it.
    m_w.reset(new StandInWindow(StandInWindow::TicksRunning));
    m_window = m_w->window();
    QVERIFY2(m_window, qPrintable(m_w->errorString()));
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestUpdateFlow::cleanupTestCase()
{
    m_w.reset();
}

QQuickItem *TestUpdateFlow::itemNamed(const QString &name) const
{
    return m_window->findChild<QQuickItem *>(name);
}

void TestUpdateFlow::click(QQuickItem *item, QPointF at)
{
    QVERIFY(item);
    if (at.x() < 0)
        at = QPointF(item->width() / 2, item->height() / 2);
    QTest::mouseClick(m_window, Qt::LeftButton, {}, item->mapToScene(at).toPoint());
}

QString TestUpdateFlow::pixel(QPointF at)
{
    const QImage frame = grabFrame(m_window);
    return frame.pixelColor(at.toPoint() * frame.width() / m_window->width()).name();
}

void TestUpdateFlow::checkBoxPixels()
{
    m_w->core().addUnit(address(0), QStringLiteral("Stage Left"));
    QQuickItem *c = card(0);
    QVERIFY(c);
    QQuickItem *check = c->findChild<QQuickItem *>(QStringLiteral("id_check"));
    QVERIFY(check);
    QTRY_COMPARE(check->property("status").toInt(), 1); // Image.Ready
    QCOMPARE(check->width(), 27.0);
    QCOMPARE(check->height(), 25.0);
    // Strip at 3 + 5, image at (40 + 4 - 27) / 2 inside it, centred in the
    // strip's 140 pixels below the border.
    const QPointF topLeft = check->mapToScene(QPointF(0, 0));
    QCOMPARE(topLeft.x(), 16.5);
    QVERIFY2(qAbs(topLeft.y() - (90 + 5 + 57.5)) <= 0.5, qPrintable(QString::number(topLeft.y())));

    const QPointF vertex = check->mapToScene(QPointF(9, 16)); // the tick's vertex
    const QPointF arm = check->mapToScene(QPointF(23.5, 4)); // its long arm, above the box
    const QPointF inside = check->mapToScene(QPointF(5, 21)); // inside the box, off the tick
    const QPointF frame = check->mapToScene(QPointF(0.5, 14)); // the box's left edge
    QTRY_COMPARE(pixel(vertex), QStringLiteral("#ffffff"));
    QCOMPARE(pixel(arm), QColor("snow").name());
    QCOMPARE(pixel(inside), QStringLiteral("#ffffff"));
    QCOMPARE(pixel(frame), QStringLiteral("#000000"));

    click(check);
    QCOMPARE(c->property("m_f_selected").toBool(), true);
    QTRY_COMPARE(pixel(vertex), QStringLiteral("#000000"));
    QCOMPARE(pixel(arm), QStringLiteral("#000000"));
    QCOMPARE(pixel(inside), QStringLiteral("#ffffff"));
    QCOMPARE(pixel(frame), QStringLiteral("#000000"));

    click(check);
    QCOMPARE(c->property("m_f_selected").toBool(), false);
    m_w->core().removeUnit(address(0));
    QVERIFY(!card(0));
}

void TestUpdateFlow::selectAllUpdateByMouseAndKeys()
{
    m_w->core().reset();
    for (int i = 0; i < 7; ++i)
        m_w->core().addUnit(address(i), QStringLiteral("Unit %1").arg(i));
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(3)); // done earlier

    click(visibleItemWithProperty("m_text", QStringLiteral("Select all")));
    click(visibleItemWithProperty("m_text", QStringLiteral("Update selected units")));
    QObject *dialog = m_window->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->property("opened").toBool());
    QQuickItem *field = itemNamed(QStringLiteral("id_passwd"));
    QTRY_VERIFY(field->hasActiveFocus());
    for (const char key : QByteArrayLiteral("s3cret"))
        QTest::keyClick(m_window, key);
    QCOMPARE(field->property("text").toString(), QStringLiteral("s3cret"));
    QCOMPARE(m_w->core().callCount(), 0);

    click(visibleItemWithProperty("m_text", QStringLiteral("Update")));
    QTRY_VERIFY(!dialog->property("visible").toBool());

    // Six selected (the completed unit cannot be), the first five start at
    // once in row order.
    const QStringList started{ address(0), address(1), address(2), address(4), address(5) };
    QCOMPARE(m_w->core().calledAddresses().join(' '), started.join(' '));
    for (const StandInCore::Call &call : m_w->core().calls()) {
        QCOMPARE(call.password, QStringLiteral("s3cret"));
        QCOMPARE(call.port, QStringLiteral("54726"));
    }
    QCOMPARE(card(6)->property("m_msg").toString(), QStringLiteral("Waiting"));
    QVERIFY(itemNamed(QStringLiteral("id_popup_progress"))->isVisible());
    QVERIFY(itemNamed(QStringLiteral("id_text_status"))
                    ->property("text")
                    .toString()
                    .startsWith(QLatin1String("Updating")));
    QVERIFY(!itemNamed(QStringLiteral("id_button_close"))->isVisible());

    // The overlay darkens the whole window and takes the clicks: "Select
    // all" beneath it does nothing.
    QTRY_COMPARE(pixel(QPointF(5, 650)), QColor(0x3f, 0x3f, 0x3f).name());
    card(6)->setProperty("m_msg", QString());
    card(6)->setProperty("m_f_selected", false);
    click(visibleItemWithProperty("m_text", QStringLiteral("Select all")));
    QCOMPARE(card(6)->property("m_f_selected").toBool(), false);
    card(6)->setProperty("m_msg", QStringLiteral("Waiting"));
    card(6)->setProperty("m_f_selected", true);

    // A slot comes free; the real timer starts the waiting unit.
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(0));
    QTRY_COMPARE_WITH_TIMEOUT(m_w->core().callCount(), 6, 3000);
    QCOMPARE(m_w->core().calls().last().ipaddr, address(6));
    QCOMPARE(m_w->core().calls().last().password, QStringLiteral("s3cret"));
}

void TestUpdateFlow::overlayShowsRunEnd()
{
    // Continues the run above: 0 completed, 1 2 4 5 6 working.
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(1));
    m_w->core().progress(QStringLiteral("ERROR: Connection refused"), address(2));
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(4));
    m_w->core().removeUnit(address(5));
    m_w->core().progress(QStringLiteral("Retry: 2 97%"), address(6));
    QTest::qWait(1200);
    QVERIFY(itemNamed(QStringLiteral("id_text_status"))
                    ->property("text")
                    .toString()
                    .startsWith(QLatin1String("Updating")));
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(6));
    QQuickItem *close = itemNamed(QStringLiteral("id_button_close"));
    QTRY_VERIFY_WITH_TIMEOUT(close->isVisible(), 3000);
    QCOMPARE(itemNamed(QStringLiteral("id_text_status"))->property("text").toString(),
             QStringLiteral("Finished."));
    QCOMPARE(itemNamed(QStringLiteral("id_text_ok"))->property("text").toString(),
             QStringLiteral("4 suceeded"));
    QCOMPARE(itemNamed(QStringLiteral("id_text_ng"))->property("text").toString(),
             QStringLiteral("1 failed and 1lost"));

    // 5 of 6 ended: 270 * 5 / 6 - 2 = 223 pixels of fill from x 1 of the bar.
    QQuickItem *fill = itemNamed(QStringLiteral("id_bar_fill"));
    QCOMPARE(fill->width(), 223.0);
    const QPointF start = fill->mapToScene(QPointF(0, 4));
    QTRY_COMPARE(pixel(start), QStringLiteral("#41ccff"));
    QCOMPARE(pixel(start + QPointF(222, 0)), QStringLiteral("#41ccff"));
    QCOMPARE(pixel(start + QPointF(224, 0)), QStringLiteral("#454545"));

    click(close);
    QTRY_VERIFY(!itemNamed(QStringLiteral("id_popup_progress"))->isVisible());
    QTRY_COMPARE(pixel(QPointF(5, 650)), QStringLiteral("#888888"));
}

void TestUpdateFlow::everyTextIsPlain()
{
    // Device texts reach the cards and the overlay; none may be read as
    // markup. (The closed dialogs are not in the tree; tst_qmlsources reads
    // their source.)
    m_w->core().addUnit(address(20), QStringLiteral("<b>x</b>"));
    QList<QQuickItem *> pending{ m_window->contentItem() };
    int texts = 0;
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (item->inherits("QQuickText")) {
            ++texts;
            QVERIFY2(item->property("textFormat").toInt() == Qt::PlainText,
                     qPrintable(item->property("text").toString()));
        }
        pending += item->childItems();
    }
    // title and version, two buttons, seven cards of 11, the overlay's lines
    QVERIFY2(texts > 40, qPrintable(QString::number(texts)));
}

static QStringList *s_lines = nullptr;
static void collect(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    if (s_lines)
        s_lines->append(msg);
}

void TestUpdateFlow::consoleLines()
{
    // What the list writes to the console: a field report's only trace.
    QObject *repeater = m_window->findChild<QObject *>(QStringLiteral("menuRepeater"));
    QVERIFY(repeater);
    const int before = repeater->property("count").toInt();
    const QString add = StandInCore::nodeMessage(QStringLiteral("add"),
                                                 { { QStringLiteral("m_ipaddr"), address(30) } });
    const QString remove = StandInCore::nodeMessage(
            QStringLiteral("delete"), { { QStringLiteral("m_ipaddr"), address(30) } });

    QStringList lines;
    s_lines = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    m_w->core().sendAdd(add);
    m_w->core().sendAdd(QStringLiteral("{ not json"));
    m_w->core().sendRemove(remove);
    qInstallMessageHandler(previous);
    s_lines = nullptr;

    const QStringList expected{
        add,
        QStringLiteral("onStatusChanged1"),
        QStringLiteral("count:%1 index:%2").arg(before + 1).arg(before),
        QStringLiteral("{ not json"),
        QStringLiteral("add message is not a JSON object, no card created"),
        remove,
        QStringLiteral("count:%1 index:%2 item.m_itemNumber:%2").arg(before).arg(before),
    };
    QCOMPARE(lines, expected);
    QCOMPARE(repeater->property("count").toInt(), before);
}

void TestUpdateFlow::dialogsLeaveNothingBehind_data()
{
    QTest::addColumn<QString>("dialogName");
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("closeCaption");
    QTest::addColumn<QString>("model");
    QTest::newRow("password") << QStringLiteral("id_popup_passwd") << 1 << QStringLiteral("Cancel")
                              << QStringLiteral("VK-3F");
    QTest::newRow("warning") << QStringLiteral("id_popup_warning") << 49 << QStringLiteral("Close")
                             << QStringLiteral("VK-3F");
    QTest::newRow("plan") << QStringLiteral("id_popup_plan") << 3 << QStringLiteral("Cancel")
                          << QStringLiteral("ZP-9E");
}

void TestUpdateFlow::dialogsLeaveNothingBehind()
{
    // A technician opens these dialogs once per run, for as long as the
    // program runs: each opening must leave nothing behind. (Qt 5's popups
    // make a QML context for their dimming layer at every opening and keep
    // it until the popup goes; the soak found one more object per run.)
    QFETCH(QString, dialogName);
    QFETCH(int, units);
    QFETCH(QString, closeCaption);
    QFETCH(QString, model);
    m_w->core().reset();
    for (int i = 0; i < units; ++i)
        m_w->core().addUnit(QStringLiteral("10.77.1.%1").arg(10 + i), QString(), model);
    QObject *dialog = m_window->findChild<QObject *>(dialogName);
    QVERIFY(dialog);

    int objectsAfterFirst = -1;
    for (int opening = 0; opening < 4; ++opening) {
        click(visibleItemWithProperty("m_text", QStringLiteral("Select all")));
        click(visibleItemWithProperty("m_text", QStringLiteral("Update selected units")));
        QTRY_VERIFY(dialog->property("opened").toBool());
        // The window behind a dialog is dimmed: the bottom bar's #888888
        // under the style's shadow colour at half strength.
        QTRY_COMPARE(pixel(QPointF(5, 650)), QStringLiteral("#585859"));
        click(visibleItemWithProperty("m_text", closeCaption));
        QTRY_VERIFY(!dialog->property("visible").toBool());
        QTRY_COMPARE(pixel(QPointF(5, 650)), QStringLiteral("#888888"));
        QTest::qWait(20); // deferred deletions
        const int objects = dialog->findChildren<QObject *>().size();
        if (opening == 0)
            objectsAfterFirst = objects;
        else
            QCOMPARE(objects, objectsAfterFirst);
    }

    // Still modal: a click outside the dialog reaches nothing beneath (the
    // password dialog closes on it, the warning stays).
    click(visibleItemWithProperty("m_text", QStringLiteral("Select all")));
    click(visibleItemWithProperty("m_text", QStringLiteral("Update selected units")));
    QTRY_VERIFY(dialog->property("opened").toBool());
    // A ticked card whose check box lies in view, beside the dialog.
    QQuickItem *ticked = nullptr;
    QQuickItem *check = nullptr;
    for (int row = 0; !ticked && card(row); ++row) {
        check = card(row)->findChild<QQuickItem *>(QStringLiteral("id_check"));
        const qreal y = check ? check->mapToScene(QPointF(0, check->height() / 2)).y() : 0;
        if (check && check->isVisible() && y > 100 && y < 600)
            ticked = card(row);
    }
    QVERIFY(ticked);
    QCOMPARE(ticked->property("m_f_selected").toBool(), true);
    click(check);
    QCOMPARE(ticked->property("m_f_selected").toBool(), true);
    const bool closesOnPressOutside = dialogName == QLatin1String("id_popup_passwd");
    QTRY_COMPARE(dialog->property("visible").toBool(), !closesOnPressOutside);
    if (!closesOnPressOutside)
        click(visibleItemWithProperty("m_text", closeCaption));
    QTRY_VERIFY(!dialog->property("visible").toBool());

    QCOMPARE(m_w->core().callCount(), 0);
    for (int i = 0; i < units; ++i)
        m_w->core().removeUnit(QStringLiteral("10.77.1.%1").arg(10 + i));
}

QTEST_MAIN(TestUpdateFlow)
#include "tst_updateflow.moc"
