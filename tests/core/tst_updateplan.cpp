#include "core/updateplan.h"

#include <QTest>

// The one rule of both programs for which units an update writes, against
// the shipped image (VK-3F, 1.04, build 0119).
class TestUpdatePlan : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
};

Q_DECLARE_METATYPE(UpdatePlan::Verdict)

void TestUpdatePlan::verdict_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("rules"); // o: olderOnly, r: reinstall, a: allowOlder, m: anyModel
    QTest::addColumn<UpdatePlan::Verdict>("verdict");

    using V = UpdatePlan::Verdict;
    QTest::newRow("older, no rules") << "VK-3F"
                                     << "1.02"
                                     << ""
                                     << "" << V::Write;
    QTest::newRow("older, older only") << "VK-3F"
                                       << "1.02"
                                       << ""
                                       << "o" << V::Write;
    QTest::newRow("older build") << "VK-3F"
                                 << "1.04"
                                 << "(build0100)"
                                 << "o" << V::Write;
    QTest::newRow("current") << "VK-3F"
                             << "1.04"
                             << ""
                             << "" << V::SkipCurrent;
    QTest::newRow("current, reinstall") << "VK-3F"
                                        << "1.04"
                                        << ""
                                        << "r" << V::Write;
    QTest::newRow("current, older only") << "VK-3F"
                                         << "1.04"
                                         << ""
                                         << "or" << V::SkipNotOlder;
    QTest::newRow("newer build") << "VK-3F"
                                 << "1.04"
                                 << "(build0200)"
                                 << "" << V::SkipNewer;
    QTest::newRow("newer") << "VK-3F"
                           << "1.10"
                           << ""
                           << "" << V::SkipNewer;
    QTest::newRow("newer, allow older") << "VK-3F"
                                        << "1.10"
                                        << ""
                                        << "a" << V::Write;
    QTest::newRow("other model") << "ZP-9E"
                                 << "1.02"
                                 << ""
                                 << "ra" << V::SkipOtherModel;
    QTest::newRow("other model, any model") << "ZP-9E"
                                            << "1.04"
                                            << ""
                                            << "m" << V::SkipCurrent;
    QTest::newRow("other model first") << "ZP-9E"
                                       << "1.10"
                                       << ""
                                       << "o" << V::SkipOtherModel;
    QTest::newRow("model unknown") << ""
                                   << "1.02"
                                   << ""
                                   << "o" << V::Write;
    QTest::newRow("model with suffix") << "VK-3F-B"
                                       << "1.02"
                                       << ""
                                       << "o" << V::Write;
    QTest::newRow("version unknown") << "VK-3F"
                                     << ""
                                     << ""
                                     << "" << V::Write;
    QTest::newRow("version unknown, older only") << "VK-3F"
                                                 << "x"
                                                 << ""
                                                 << "o" << V::SkipNotOlder;
    QTest::newRow("all selected, newer other model") << "ZP-9E"
                                                     << "2.00"
                                                     << ""
                                                     << "ram" << V::Write;
}

void TestUpdatePlan::verdict()
{
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, build);
    QFETCH(QString, rules);
    UpdatePlan::Rules r;
    r.olderOnly = rules.contains(QLatin1Char('o'));
    r.reinstall = rules.contains(QLatin1Char('r'));
    r.allowOlder = rules.contains(QLatin1Char('a'));
    r.anyModel = rules.contains(QLatin1Char('m'));
    QTEST(UpdatePlan::verdict(model, version, build, QStringLiteral("VK-3F"),
                              QStringLiteral("1.04"), QStringLiteral("0119"), r),
          "verdict");
    if (rules == QLatin1String("ram"))
        QCOMPARE(UpdatePlan::verdict(model, version, build, QStringLiteral("VK-3F"),
                                     QStringLiteral("1.04"), QStringLiteral("0119"),
                                     UpdatePlan::allSelected()),
                 UpdatePlan::Write);
}

QTEST_APPLESS_MAIN(TestUpdatePlan)
#include "tst_updateplan.moc"
