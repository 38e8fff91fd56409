#include "core/rootcontext.h"
#include "common/isolation.h"
#include "common/grab.h"
#include "discovery/udpmm.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// Starts the window the way the entry does (engine, root context, table,
// "udpmachine", qrc:/main.qml) and checks what the technician first sees.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void contextPropertiesExistBeforeLoad();
    void versionLineInFirstFrame();
    void regions_data();
    void regions();
    void widthIsFixed();
    void framePixels_data();
    void framePixels();
    void qttimeLine();

private:
    QQuickItem *itemWithText(const QString &text) const;

    QQmlApplicationEngine *m_engine = nullptr;
    UdpMachineList *m_table = nullptr;
    QQuickWindow *m_window = nullptr;
    QStringList m_messages;
};

static QStringList *s_messages = nullptr;
static void collect(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    if (s_messages)
        s_messages->append(msg);
}

void TestMainWindow::initTestCase()
{
    KVX_REQUIRE_ISOLATED_NETWORK();
    m_engine = new QQmlApplicationEngine;
    g_rootContext = m_engine->rootContext();
    m_table = new UdpMachineList;
    m_engine->rootContext()->setContextProperty(QStringLiteral("udpmachine"), m_table);
    s_messages = &m_messages;
    QtMessageHandler previous = qInstallMessageHandler(collect);
    m_engine->load(QUrl(QStringLiteral("qrc:/main.qml"), QUrl::TolerantMode));
    qInstallMessageHandler(previous);
    s_messages = nullptr;
    QCOMPARE(m_engine->rootObjects().size(), 1);
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    QVERIFY(m_window);
    QVERIFY(m_window->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestMainWindow::cleanupTestCase()
{
    delete m_table;
    delete m_engine;
    g_rootContext = nullptr;
}

QQuickItem *TestMainWindow::itemWithText(const QString &text) const
{
    // Visual children are not always QObject children: walk the item tree.
    QList<QQuickItem *> pending{ m_window->contentItem() };
    while (!pending.isEmpty()) {
        QQuickItem *item = pending.takeFirst();
        if (item->property("text").toString() == text)
            return item;
        pending += item->childItems();
    }
    return nullptr;
}

void TestMainWindow::contextPropertiesExistBeforeLoad()
{
    QQmlContext *context = m_engine->rootContext();
    QCOMPARE(context->contextProperty(QStringLiteral("isZp9e")), QVariant(false));
    QCOMPARE(context->contextProperty(QStringLiteral("isVk3f")), QVariant(true));
    QCOMPARE(context->contextProperty(QStringLiteral("firmVersion")),
             QVariant(QStringLiteral("1.04")));
    QCOMPARE(context->contextProperty(QStringLiteral("firmBuild")),
             QVariant(QStringLiteral("0119")));
    QCOMPARE(context->contextProperty(QStringLiteral("firmModel")),
             QVariant(QStringLiteral("VK-3F")));
    QCOMPARE(qvariant_cast<QObject *>(context->contextProperty(QStringLiteral("udpmachine"))),
             static_cast<QObject *>(m_table));
    QCOMPARE(m_table->binfile().size(), 579616);
}

void TestMainWindow::versionLineInFirstFrame()
{
    // The binding was evaluated at creation: no event has been processed yet.
    QQuickItem *line = itemWithText(QStringLiteral("TO VERSION: 1.04 (build0119)"));
    QVERIFY(line);
    QCOMPARE(line->property("textFormat").toInt(), int(Qt::PlainText));
    QCOMPARE(m_window->title(), QStringLiteral("VORANT KVX Series Firmware Updater"));
    QVERIFY(itemWithText(QStringLiteral("Select all")));
    QVERIFY(itemWithText(QStringLiteral("Update selected units")));
}

void TestMainWindow::regions_data()
{
    QTest::addColumn<int>("windowHeight");
    QTest::addColumn<int>("listHeight");
    QTest::newRow("start size") << 700 << 518;
    QTest::newRow("taller") << 900 << 718;
    QTest::newRow("back") << 700 << 518;
}

void TestMainWindow::regions()
{
    QFETCH(int, windowHeight);
    m_window->resize(480, windowHeight);
    QTRY_COMPARE(m_window->height(), windowHeight);

    QObject *root = m_window;
    auto *top = root->findChild<QQuickItem *>(QStringLiteral("top"));
    auto *list = root->findChild<QQuickItem *>(QStringLiteral("id_view_udplist"));
    auto *bottom = root->findChild<QQuickItem *>(QStringLiteral("bottom"));
    QVERIFY(top && list && bottom);
    QCOMPARE(top->y(), 0.0);
    QCOMPARE(top->height(), 90.0);
    QCOMPARE(bottom->height(), 92.0);
    QCOMPARE(top->width(), 480.0);
    QCOMPARE(list->y(), 90.0);
    QFETCH(int, listHeight);
    QTRY_COMPARE(int(list->height()), listHeight);
    QCOMPARE(list->width(), 480.0);
    QCOMPARE(bottom->y(), qreal(windowHeight - 92));
}

void TestMainWindow::widthIsFixed()
{
    QCOMPARE(m_window->minimumWidth(), 480);
    QCOMPARE(m_window->maximumWidth(), 480);
    QCOMPARE(m_window->minimumHeight(), 700);
    QVERIFY(m_window->maximumHeight() > 10000);
}

void TestMainWindow::framePixels_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("color");
    QTest::newRow("top bar left") << QPoint(3, 3) << QColor("black");
    QTest::newRow("top bar below title") << QPoint(240, 85) << QColor("black");
    QTest::newRow("list area") << QPoint(240, 300) << QColor("#2e3033");
    QTest::newRow("bottom bar left margin") << QPoint(5, 650) << QColor("#888888");
    QTest::newRow("bottom bar under buttons") << QPoint(240, 695) << QColor("#888888");
    QTest::newRow("button face") << QPoint(120, 660) << QColor("#cccccc");
}

void TestMainWindow::framePixels()
{
    QFETCH(QPoint, point);
    QFETCH(QColor, color);
    m_window->resize(480, 700);
    QTRY_COMPARE(m_window->height(), 700);
    const QImage frame = grabFrame(m_window);
    QVERIFY(!frame.isNull());
    const QPoint scaled = point * frame.width() / 480;
    QCOMPARE(frame.pixelColor(scaled).name(), color.name());
}

void TestMainWindow::qttimeLine()
{
    const QRegularExpression pattern(QStringLiteral("^qttime \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"));
    bool found = false;
    for (const QString &line : qAsConst(m_messages))
        found = found || pattern.match(line).hasMatch();
    QVERIFY2(found, qPrintable(m_messages.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
