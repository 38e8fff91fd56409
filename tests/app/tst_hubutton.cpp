#include "common/grab.h"
#include "common/qmlsignal.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

// The one button type: its face darkens only while held, and a press that is
// released outside it is no click.
class TestHuButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pressedColour();
    void clickOnlyWhenReleasedInside_data();
    void clickOnlyWhenReleasedInside();

private:
    QQmlEngine *m_engine = nullptr;
    QQuickWindow *m_window = nullptr;
    QQuickItem *m_button = nullptr;
};

void TestHuButton::init()
{
    m_engine = new QQmlEngine;
    QQmlComponent component(m_engine);
    component.setData("import QtQuick 2.11\n"
                      "import QtQuick.Window 2.11\n"
                      "Window { width: 300; height: 200; visible: true\n"
                      "  HuButton { objectName: \"button\"; x: 50; y: 50; width: 200; height: 52;\n"
                      "             m_text: \"Select all\"; m_fontPixelsize: 15 } }",
                      QUrl(QStringLiteral("qrc:/test.qml")));
    m_window = qobject_cast<QQuickWindow *>(component.create());
    QVERIFY2(m_window, qPrintable(component.errorString()));
    m_button = m_window->contentItem()->childItems().value(0);
    QVERIFY(m_button);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestHuButton::cleanup()
{
    delete m_window;
    delete m_engine;
}

static QString faceColour(QQuickWindow *window)
{
    return grabFrame(window).pixelColor(60, 55).name();
}

void TestHuButton::pressedColour()
{
    QCOMPARE(faceColour(m_window), QStringLiteral("#cccccc"));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(100, 70));
    QTRY_COMPARE(faceColour(m_window), QStringLiteral("#aaaaaa"));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, QPoint(100, 70));
    QTRY_COMPARE(faceColour(m_window), QStringLiteral("#cccccc"));
}

void TestHuButton::clickOnlyWhenReleasedInside_data()
{
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::newRow("inside") << QPoint(240, 90) << 1;
    QTest::newRow("outside below") << QPoint(100, 150) << 0;
    QTest::newRow("outside left") << QPoint(10, 70) << 0;
}

void TestHuButton::clickOnlyWhenReleasedInside()
{
    QSignalSpy clicked(m_button, qmlSignal(m_button, "clicked(QQuickMouseEvent*)"));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(100, 70));
    QFETCH(QPoint, release);
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, release);
    QTEST(clicked.count(), "clicks");
}

QTEST_MAIN(TestHuButton)
#include "tst_hubutton.moc"
