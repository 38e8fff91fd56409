// A rack through the window as an installer meets it on a bad day: the
// password mistyped first, then typed right when the window asks again, and
// one unit whose cable drops, started again with "Retry failed".
//
//   row  unit                          first run              retry
//   0-2  healthy                       succeeded              -
//   3    drops the connection          failed                 failed again
#include "e2e/rack.h"

#include <QQuickItem>

class TestE2eRetry : public RackTest
{
    Q_OBJECT

public:
    TestE2eRetry() : RackTest(4) { }

private slots:
    void mistypedPasswordThenRetry();

private:
    QQuickItem *named(const char *objectName) const
    {
        return m_updater.window()->findChild<QQuickItem *>(QLatin1String(objectName));
    }
};

void TestE2eRetry::mistypedPasswordThenRetry()
{
    const QStringList a = Rack::addresses(4);
    QList<QJsonObject> units;
    for (int i = 0; i < 4; ++i) {
        QJsonObject settings{ { "nickname", QStringLiteral("Rack %1").arg(i + 1) } };
        if (i == 3)
            settings.insert("faults", QJsonObject{ { "closeAtOffset", 65536 } });
        units << LabDevSim::unit(a.at(i), settings);
    }
    QString why;
    QVERIFY2(startRack(units, &why), qPrintable(why));

    // Mistyped: all four start at once and each rejects it. The run holds
    // and asks again, counting the units the new password goes to.
    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(QStringLiteral("admim")));
    QObject *dialog = m_updater.window()->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QQuickItem *retryText = named("id_text_retry");
    QVERIFY(dialog && retryText);
    QVERIFY2(labWaitUntil(
                     [&] {
                         return dialog->property("opened").toBool()
                                 && retryText->property("text").toString()
                                 == QLatin1String("The units rejected the password. 4 waiting.");
                     },
                     20000),
             qPrintable(retryText->property("text").toString()));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("0 failed"));
    QVERIFY(!named("id_button_close")->isVisible());

    // Typed right: the same run goes on, and ends with the one real failure.
    QTest::keyClick(m_updater.window(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(m_updater.window(), Qt::Key_Backspace);
    m_updater.typeText(Rack::password());
    QVERIFY(m_updater.clickButton(QStringLiteral("Update")));
    QVERIFY2(m_updater.waitForFinished(90000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("3 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("1 failed"));
    const QByteArray &image = tableImage();
    QJsonObject results = m_sim.results();
    for (int i = 0; i < 3; ++i) {
        const QJsonObject unit = LabDevSim::findUnit(results, a.at(i));
        QVERIFY2(Rack::imageProblem(unit, image).isEmpty(), qPrintable(a.at(i)));
    }

    // The overlay names the failed unit; "Retry failed (1)" starts it alone.
    QQuickItem *list = named("id_failure_list");
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->property("count").toInt(), 1);
    QObject *view = m_updater.window()->findChild<QObject *>(QStringLiteral("id_view_udplist"));
    QVERIFY(view);
    const QVariantList failures = view->property("m_failures").toList();
    QCOMPARE(failures.size(), 1);
    const QVariantMap failure = failures.first().toMap();
    QCOMPARE(failure.value(QStringLiteral("address")).toString(), a.at(3));
    QCOMPARE(failure.value(QStringLiteral("name")).toString(), QStringLiteral("Rack 4"));
    QVERIFY(!failure.value(QStringLiteral("reason")).toString().isEmpty());
    const int connectionsBefore =
            LabDevSim::findUnit(results, a.at(3)).value(QStringLiteral("connections")).toInt();
    QVERIFY(m_updater.clickButton(QStringLiteral("Retry failed (1)")));
    QVERIFY2(m_updater.waitForFinished(60000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("0 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("1 failed"));
    results = m_sim.results();
    QCOMPARE(LabDevSim::findUnit(results, a.at(3)).value(QStringLiteral("connections")).toInt(),
             connectionsBefore + 1);
    // The others were not written again.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_updater.card(a.at(i))->property("m_f_selected").toBool(), false);
    QVERIFY(m_updater.closeOverlay());
}

QTEST_MAIN(TestE2eRetry)
#include "tst_e2e_retry.moc"
