// One run through the window, and the record it leaves: a history line for
// every unit as its run ends, and a report saved from the finished overlay
// whose rows say what the simulator saw.
//
//   row  unit                                         ends as
//   0-4  healthy, long flash write; hostile names     succeeded
//   5    stops answering SSDP while it waits         lost (removed before it starts)
//   6    rejects the password                        failed
//   7    drops the connection mid-transfer           failed
//
// Rows 0 to 4 hold all five slots while they write their flash, so the unit in
// row 5 is still waiting when the table drops it.
#include "common/csvreader.h"
#include "core/runhistory.h"
#include "core/runrecorder.h"
#include "e2e/rack.h"

#include <QDir>
#include <QJsonDocument>
#include <QQuickItem>

namespace {

// Late enough that a busy machine has selected the unit before it goes
// quiet, early enough that the table drops it (about 11 s later) while the
// long writes still hold every slot.
constexpr int kSilentAfterSeconds = 8;
constexpr int kLongWriteMs = 24000;

} // namespace

class TestE2eRunRecord : public RackTest
{
    Q_OBJECT

public:
    TestE2eRunRecord() : RackTest(8) { }

private slots:
    void runLeavesItsRecord();

private:
    bool saveReport(const QString &typed, QString *savedAs);
};

// "Save report…", then the name (empty: the one offered), then "Save"; the
// path the dialog says it saved to.
bool TestE2eRunRecord::saveReport(const QString &typed, QString *savedAs)
{
    QQuickWindow *window = m_updater.window();
    QObject *dialog = window->findChild<QObject *>(QStringLiteral("id_popup_save"));
    QQuickItem *field = window->findChild<QQuickItem *>(QStringLiteral("id_report_path"));
    QQuickItem *message = window->findChild<QQuickItem *>(QStringLiteral("id_text_save_message"));
    if (!dialog || !field || !message || !m_updater.clickButton(QStringLiteral("Save report…")))
        return false;
    if (!labWaitUntil(
                [&] { return dialog->property("opened").toBool() && field->hasActiveFocus(); },
                3000))
        return false;
    if (!typed.isEmpty()) {
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Backspace);
        m_updater.typeText(typed);
    }
    if (!m_updater.clickButton(QStringLiteral("Save")))
        return false;
    const QString text = message->property("text").toString();
    if (!text.startsWith(QLatin1String("Saved: "))) {
        qWarning() << "save dialog:" << text;
        return false;
    }
    *savedAs = text.mid(7);
    // Escape: the overlay behind has a "Close" of its own.
    QTest::keyClick(window, Qt::Key_Escape);
    return labWaitUntil([&] { return !dialog->property("visible").toBool(); }, 3000);
}

void TestE2eRunRecord::runLeavesItsRecord()
{
    const QStringList a = Rack::addresses(8);
    const QStringList nicknames{ "Stage, \"Left\"", "=cmd|' /C calc'!A0",
                                 "+1 Delay",        "@FOH",
                                 "舞台 右",         "Foyer",
                                 "-Balcony",        "Sub, Array" };
    // As the spreadsheet shows them: a formula stays a text.
    const QStringList shown{ "Stage, \"Left\"", "'=cmd|' /C calc'!A0",
                             "'+1 Delay",       "'@FOH",
                             "舞台 右",         "Foyer",
                             "'-Balcony",       "Sub, Array" };
    QList<QJsonObject> units;
    for (int i = 0; i < 8; ++i) {
        QJsonObject settings{ { "nickname", nicknames.at(i) } };
        if (i < 5)
            settings.insert("writeDelayMs", kLongWriteMs);
        if (i == 5)
            settings.insert("silentAfterSeconds", kSilentAfterSeconds);
        if (i == 6)
            settings.insert("faults", QJsonObject{ { "wrongPassword", true } });
        if (i == 7)
            settings.insert("faults", QJsonObject{ { "closeAtOffset", 262144 } });
        units << LabDevSim::unit(a.at(i), settings);
    }

    QElapsedTimer sinceSimStart;
    sinceSimStart.start();
    QString why;
    QVERIFY2(startRack(units, &why, 4000), qPrintable(why));
    const QByteArray &image = tableImage();
    for (int i = 0; i < 8; ++i)
        QCOMPARE(m_updater.card(a.at(i))->property("m_nickname").toString(), nicknames.at(i));

    QVERIFY(m_updater.clickButton(QStringLiteral("Select all")));
    QVERIFY(m_updater.updateSelected(Rack::password()));
    // The plan above holds only if the unit was selected before it went quiet.
    QVERIFY2(sinceSimStart.elapsed() < (kSilentAfterSeconds - 1) * 1000,
             qPrintable(QString::number(sinceSimStart.elapsed())));
    QVERIFY2(m_updater.waitForFinished(90000), qPrintable(m_updater.statusLine()));
    QCOMPARE(m_updater.successLine(), QStringLiteral("5 suceeded"));
    QCOMPARE(m_updater.failureLine(), QStringLiteral("2 failed and 1lost"));

    // The history: a line per unit, in the order their runs ended.
    QStringList endOrder;
    for (const UpdaterWindow::TextEvent &e : m_updater.cardTexts()) {
        if (e.text == QLatin1String("Firmware update completed.")
            || e.text.startsWith(QLatin1String("ERROR")))
            endOrder << e.address;
    }
    const QList<UpdaterWindow::TextEvent> removed = m_updater.removedCards();
    QCOMPARE(removed.size(), 1);
    QCOMPARE(removed.first().address, a.at(5));
    // The lost unit ended when its card went: between the others' ends.
    int lostAt = 0;
    for (const UpdaterWindow::TextEvent &e : m_updater.cardTexts()) {
        if ((e.text == QLatin1String("Firmware update completed.")
             || e.text.startsWith(QLatin1String("ERROR")))
            && e.ms < removed.first().ms)
            ++lostAt;
    }
    endOrder.insert(lostAt, a.at(5));

    // A unit that completed gets its line once it is back with its new
    // version; the others as their runs end.
    QVERIFY2(labWaitUntil([&] { return m_updater.recorder()->restartingCount() == 0; }, 60000),
             qPrintable(QString::number(m_updater.recorder()->restartingCount())));
    const RunHistory::Contents history = RunHistory(m_updater.historyPath()).read();
    QVERIFY(history.warnings.isEmpty());
    QStringList historyOrder;
    for (const UnitRunRecord &r : history.records) {
        if (r.result != UnitRunRecord::kSucceeded)
            historyOrder << r.address;
    }
    QStringList endedOrder;
    for (const QString &address : qAsConst(endOrder)) {
        if (a.indexOf(address) >= 5)
            endedOrder << address;
    }
    QCOMPARE(historyOrder, endedOrder);
    QCOMPARE(history.records.size(), 8);

    // Each line against what the simulator saw.
    const QJsonObject results = m_sim.results();
    QHash<QString, UnitRunRecord> byAddress;
    for (const UnitRunRecord &r : history.records)
        byAddress.insert(r.address, r);
    for (int i = 0; i < 8; ++i) {
        const UnitRunRecord r = byAddress.value(a.at(i));
        const QJsonObject unit = LabDevSim::findUnit(results, a.at(i));
        const bool written = Rack::imageProblem(unit, image).isEmpty();
        const QString expected = written                                 ? UnitRunRecord::kSucceeded
                : unit.value(QStringLiteral("connections")).toInt() == 0 ? UnitRunRecord::kLost
                                                                         : UnitRunRecord::kFailed;
        QCOMPARE(r.result, expected);
        QCOMPARE(r.result, QString::fromLatin1(i < 5 ? "succeeded" : i == 5 ? "lost" : "failed"));
        QCOMPARE(r.nickname, nicknames.at(i));
        if (i != 5)
            QCOMPARE(r.lastText, m_updater.cardText(a.at(i)));
        QCOMPARE(r.image.sha256, Rack::sha256(image));
        if (written)
            QCOMPARE(unit.value(QStringLiteral("sha256")).toString(), r.image.sha256);
        QCOMPARE(r.image.model, QStringLiteral("VK-3F"));
        QVERIFY(r.program.startsWith(QLatin1String("kvx-updater ")));
        QVERIFY(r.ended.isValid());
        QCOMPARE(r.started.isValid(), i != 5); // the lost unit never started
        QCOMPARE(r.versionBefore.left(4), QStringLiteral("1.02"));
        QCOMPARE(r.versionAfter, QString::fromLatin1(i < 5 ? "1.04" : ""));
    }
    QCOMPARE(byAddress.value(a.at(6)).lastText,
             QStringLiteral("ERROR: The unit rejected the password."));

    // The report, saved through the finished overlay under the name offered.
    QString csvPath;
    QVERIFY(saveReport(QString(), &csvPath));
    QVERIFY2(csvPath.startsWith(QDir::toNativeSeparators(m_updater.reportFolder())
                                + QStringLiteral("/kvx-report-")),
             qPrintable(csvPath));
    QFile csvFile(csvPath);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const CsvReader csv = CsvReader::read(csvFile.readAll());
    QVERIFY2(csv.error.isEmpty(), qPrintable(csv.error));
    QCOMPARE(csv.rows.size(), 9);
    for (int row = 1; row < csv.rows.size(); ++row) {
        const QStringList &fields = csv.rows.at(row);
        const UnitRunRecord r = byAddress.value(fields.at(3));
        QVERIFY2(!r.address.isEmpty(), qPrintable(fields.at(3)));
        QCOMPARE(fields.at(8), r.result);
        QCOMPARE(fields.at(5), shown.at(a.indexOf(fields.at(3))));
        QCOMPARE(fields.at(9), r.lastText);
        QCOMPARE(fields.at(13), Rack::sha256(image));
    }

    // And as JSON, by the name's ending: exactly the history's lines.
    QString jsonPath;
    QVERIFY(saveReport(QStringLiteral("rack.json"), &jsonPath));
    QCOMPARE(jsonPath, QDir::toNativeSeparators(m_updater.reportFolder() + "/rack.json"));
    QFile jsonFile(jsonPath);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonArray report = QJsonDocument::fromJson(jsonFile.readAll()).array();
    QCOMPARE(report.size(), 8);
    for (int i = 0; i < 8; ++i) {
        const QJsonObject line = report.at(i).toObject();
        QCOMPARE(line, byAddress.value(line.value(QStringLiteral("address")).toString()).toJson());
    }

    QVERIFY(m_updater.closeOverlay());
}

QTEST_MAIN(TestE2eRunRecord)
#include "tst_e2e_runrecord.moc"
