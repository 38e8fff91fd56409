// What each unit runs, before and after, through the window: a rack of eight
// units that restart after their update, among them one whose boot fails, one
// of another model than the image's and one already current. The tags on the
// cards must end as the units really are, and every written unit must hold
// the exact image.
#include "e2e/rack.h"

#include <QQuickItem>

class TestE2eVersions : public RackTest
{
    Q_OBJECT

public:
    TestE2eVersions() : RackTest(8) { }

private slots:
    void rackOfRestartingUnits();

private:
    // The tag's text on the unit's card, "" when it shows none; a null
    // string when the unit has no card.
    QString tag(const QString &address) const;
};

QString TestE2eVersions::tag(const QString &address) const
{
    QQuickItem *card = m_updater.card(address);
    if (!card)
        return QString();
    QQuickItem *tag = card->findChild<QQuickItem *>(QStringLiteral("id_version_tag"));
    if (!tag)
        return QStringLiteral("(no tag item)");
    return tag->isVisible() ? tag->property("text").toString() : QStringLiteral("");
}

void TestE2eVersions::rackOfRestartingUnits()
{
    const QStringList units = Rack::addresses(8);
    enum { Current = 2, BootFails = 4, OtherModel = 5, LongRestart = 7 };
    QList<QJsonObject> config;
    for (int i = 0; i < units.size(); ++i) {
        QJsonObject unit{ { "model", i == OtherModel ? "ZP-9E" : "VK-3F" },
                          { "nickname", QStringLiteral("Rack %1").arg(i + 1) },
                          { "version",
                            i == Current     ? "1.04"
                                    : i == 1 ? "1.01"
                                             : "1.02" },
                          { "build", i == Current ? "0119" : "0100" },
                          { "writeDelayMs", 500 },
                          // Long enough for its card to age out and come back.
                          { "rebootSeconds", i == LongRestart ? 15 : 4 } };
        if (i == BootFails)
            unit.insert("faults", QJsonObject{ { "bootFails", true } });
        config << LabDevSim::unit(units.at(i), unit);
    }
    QString why;
    QVERIFY2(startRack(config, &why), qPrintable(why));
    const QByteArray &image = tableImage();

    // Before: each card says how its unit stands against 1.04 (build0119).
    for (int i = 0; i < units.size(); ++i) {
        const QString expected = i == Current ? "current"
                : i == OtherModel             ? "other model"
                                              : "older";
        QCOMPARE(tag(units.at(i)), expected);
    }

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    QCOMPARE(m_updater.modelWarning(), QStringLiteral("Not older: 1 current, 1 not VK-3F."));

    // The overlay counts as it always did: the run is over when the units
    // have acknowledged, whether or not they are back yet.
    QVERIFY2(m_updater.waitForFinished(60000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("8 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("0 failed"));

    // After: the proof comes when each unit is back.
    QHash<QString, QString> expected;
    for (int i = 0; i < units.size(); ++i)
        expected.insert(units.at(i),
                        i == BootFails            ? "not updated"
                                : i == OtherModel ? "other model"
                                                  : "current");
    const bool proven = labWaitUntil(
            [&] {
                for (const QString &a : units) {
                    QQuickItem *card = m_updater.card(a);
                    if (!card || card->property("m_after_update").toString() != "back")
                        return false;
                }
                return true;
            },
            60000);
    QStringList got;
    for (const QString &a : units)
        got << a + QLatin1Char(' ') + tag(a);
    QVERIFY2(proven, qPrintable(got.join(QLatin1String(", "))));
    for (const QString &a : units)
        QCOMPARE(tag(a), expected.value(a));

    // What the cards show beside the tags: the version the unit announced
    // on its return. A new version voids the build read before the update;
    // an unchanged one keeps it.
    for (int i = 0; i < units.size(); ++i) {
        QQuickItem *card = m_updater.card(units.at(i));
        const QString version = card->property("m_version").toString();
        QCOMPARE(version, i == BootFails ? QStringLiteral("1.02") : QStringLiteral("1.04"));
        const QString build = i == BootFails ? QStringLiteral("(build0100)")
                : i == Current               ? QStringLiteral("(build0119)")
                                             : QString();
        QCOMPARE(card->property("m_build").toString(), build);
    }
    // The unit with the long restart left the list and came back.
    QStringList removed;
    for (const UpdaterWindow::TextEvent &e : m_updater.removedCards())
        removed << e.address;
    QCOMPARE(removed, QStringList{ units.at(LongRestart) });
    QCOMPARE(m_updater.statusLine(), QStringLiteral("Finished."));
    QCOMPARE(m_updater.successLine(), QStringLiteral("8 suceeded"));

    // Every unit was written with the exact image and runs what it says.
    for (int i = 0; i < units.size(); ++i) {
        const QJsonObject unit = m_sim.unitResults(units.at(i));
        QCOMPARE(Rack::imageProblem(unit, image), QString());
        QCOMPARE(unit.value("restarts").toInt(), 1);
        QCOMPARE(unit.value("version").toString(),
                 i == BootFails ? QStringLiteral("1.02") : QStringLiteral("1.04"));
        QCOMPARE(unit.value("build").toString(),
                 i == BootFails ? QStringLiteral("0100") : QStringLiteral("0119"));
    }
    QVERIFY2(Rack::busyRecords(m_updater.table()).isEmpty(),
             qPrintable(Rack::busyRecords(m_updater.table()).join(' ')));
}

QTEST_MAIN(TestE2eVersions)
#include "tst_e2e_versions.moc"
