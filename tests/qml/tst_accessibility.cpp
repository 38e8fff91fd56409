#include "common/standinwindow.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <memory>

// What a screen reader is told: check boxes named "Select <nickname>" that
// say whether they are ticked, buttons named by their captions, cards named
// by their units, and actions that do what a click does.
class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void checkBoxes_data();
    void checkBoxes();
    void checkBoxFollowsSelection();
    void checkBoxToggleAction();
    void buttons_data();
    void buttons();
    void buttonPressAction();
    void cards();
    void list();
    void passwordField();

private:
    QAccessibleInterface *accessible(QObject *object) const;
    QQuickItem *card(int row) const { return m_w->card(row); }
    QQuickItem *check(int row) const { return m_w->check(row); }
    QQuickItem *button(const QString &caption) const;

    std::unique_ptr<StandInWindow> m_w;
    QQuickWindow *m_window = nullptr;
    QObject *m_view = nullptr;
};

static QString address(int i)
{
    return QStringLiteral("10.77.0.%1").arg(10 + i);
}

void TestAccessibility::initTestCase()
{
    // As when a screen reader runs from the start.
    QAccessible::setActive(true);
    m_w.reset(new StandInWindow);
    m_window = m_w->window();
    QVERIFY2(m_window, qPrintable(m_w->errorString()));
    m_view = m_w->view();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestAccessibility::cleanupTestCase()
{
    m_w.reset();
}

void TestAccessibility::init()
{
    while (card(0))
        m_w->core().removeUnit(card(0)->property("m_ipaddr").toString());
    m_w->core().reset();
    m_w->core().addUnit(address(0), QStringLiteral("Stage Left"), QStringLiteral("ZP-9E"),
                        QStringLiteral("1.02"));
    m_w->core().addUnit(address(1), QString(), QStringLiteral("VK-3F"), QStringLiteral("1.04"));
}

QAccessibleInterface *TestAccessibility::accessible(QObject *object) const
{
    return object ? QAccessible::queryAccessibleInterface(object) : nullptr;
}

QQuickItem *TestAccessibility::button(const QString &caption) const
{
    // Closed dialogs are not in the visual tree: search the object tree.
    const QList<QQuickItem *> items = m_window->findChildren<QQuickItem *>();
    for (QQuickItem *item : items) {
        if (item->property("m_text").toString() == caption)
            return item;
    }
    return nullptr;
}

void TestAccessibility::checkBoxes_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("name");
    QTest::newRow("nickname") << 0 << "Select Stage Left";
    QTest::newRow("no nickname: the address") << 1 << "Select 10.77.0.11";
}

void TestAccessibility::checkBoxes()
{
    QFETCH(int, row);
    QAccessibleInterface *box = accessible(check(row));
    QVERIFY(box);
    QCOMPARE(box->role(), QAccessible::CheckBox);
    QTEST(box->text(QAccessible::Name), "name");
    QVERIFY(box->state().checkable);
    QVERIFY(box->state().focusable);
    QVERIFY(!box->state().checked);
}

void TestAccessibility::checkBoxFollowsSelection()
{
    QAccessibleInterface *box = accessible(check(0));
    card(0)->setProperty("m_f_selected", true);
    QVERIFY(box->state().checked);
    card(0)->setProperty("m_f_selected", false);
    QVERIFY(!box->state().checked);
    // A nickname that changes renames the box.
    m_w->core().updateUnit(address(0), QStringLiteral("m_nickname"), QStringLiteral("Stage Right"));
    QCOMPARE(box->text(QAccessible::Name), QStringLiteral("Select Stage Right"));
}

void TestAccessibility::checkBoxToggleAction()
{
    QAccessibleInterface *box = accessible(check(0));
    QAccessibleActionInterface *actions = box->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(card(0)->property("m_f_selected").toBool(), true);
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(card(0)->property("m_f_selected").toBool(), false);
    // A unit being updated cannot be picked, by any means.
    m_w->core().progress(QStringLiteral("Sending... 5%"), address(0));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(card(0)->property("m_f_selected").toBool(), false);
}

void TestAccessibility::buttons_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("select all") << "Select all";
    QTest::newRow("update") << "Update selected units";
    QTest::newRow("close") << "Close";
    QTest::newRow("save report") << "Save report…";
    QTest::newRow("cancel") << "Cancel";
}

void TestAccessibility::buttons()
{
    QFETCH(QString, caption);
    QAccessibleInterface *b = accessible(button(caption));
    QVERIFY2(b, qPrintable(caption));
    QCOMPARE(b->role(), QAccessible::Button);
    QCOMPARE(b->text(QAccessible::Name), caption);
    QVERIFY(b->state().focusable);
}

void TestAccessibility::buttonPressAction()
{
    QAccessibleInterface *b = accessible(button(QStringLiteral("Select all")));
    QAccessibleActionInterface *actions = b->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(card(0)->property("m_f_selected").toBool(), true);
    QCOMPARE(card(1)->property("m_f_selected").toBool(), true);
}

void TestAccessibility::cards()
{
    m_w->core().progress(QStringLiteral("ERROR: Connection refused"), address(0));
    QAccessibleInterface *c = accessible(card(0));
    QVERIFY(c);
    QCOMPARE(c->role(), QAccessible::ListItem);
    QCOMPARE(c->text(QAccessible::Name), QStringLiteral("Stage Left"));
    QCOMPARE(c->text(QAccessible::Description),
             QStringLiteral("Model ZP-9E, address 10.77.0.10, firmware 1.02, "
                            "ERROR: Connection refused"));
    m_w->core().updateUnit(address(0), QStringLiteral("m_build"), QStringLiteral("(build0110)"));
    QCOMPARE(c->text(QAccessible::Description),
             QStringLiteral("Model ZP-9E, address 10.77.0.10, firmware 1.02 (build0110), "
                            "ERROR: Connection refused"));
    QCOMPARE(accessible(card(1))->text(QAccessible::Name), address(1));
}

void TestAccessibility::list()
{
    QAccessibleInterface *l = accessible(m_view);
    QVERIFY(l);
    QCOMPARE(l->role(), QAccessible::List);
    QCOMPARE(l->text(QAccessible::Name), QStringLiteral("Units"));
}

void TestAccessibility::passwordField()
{
    QQuickItem *field = m_window->findChild<QQuickItem *>(QStringLiteral("id_passwd"));
    QVERIFY(field);
    field->setProperty("text", QStringLiteral("s3cret"));
    QAccessibleInterface *f = accessible(field);
    QVERIFY(f);
    QCOMPARE(f->text(QAccessible::Name), QStringLiteral("Password"));
    // Marked as a password field, so that screen readers do not read it out.
    QVERIFY(f->state().passwordEdit);
    // Nor can anything read it: no value, no text to read, not even the
    // last character typed while the field still shows it.
    QCOMPARE(f->text(QAccessible::Value), QString());
    QVERIFY(!f->textInterface());
    QVERIFY(!f->editableTextInterface());
    QVERIFY(!f->valueInterface());
    QCOMPARE(f->object(), field);
    QCOMPARE(f->role(), QAccessible::EditableText);
    // A field that shows its text is exposed as Qt makes it.
    QQuickItem *path = m_window->findChild<QQuickItem *>(QStringLiteral("id_report_path"));
    QVERIFY(path);
    path->setProperty("text", QStringLiteral("/tmp/r.csv"));
    QAccessibleInterface *p = accessible(path);
    QVERIFY(p);
    QCOMPARE(p->text(QAccessible::Value), QStringLiteral("/tmp/r.csv"));
    QVERIFY(p->textInterface());
    QVERIFY(!p->state().passwordEdit);
    field->setProperty("text", QString());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
