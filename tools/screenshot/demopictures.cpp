// Takes the README's two pictures of the demo: the whole updater, driven
// through its window as a newcomer would drive it, against the demo's eight
// simulated units (tools/demo-units.json) in the network lab. It writes
// demo.png once every unit has its card, then runs "Select all", "Update
// selected units", "Update all selected", the password and "Update", waits for
// "Finished." and for the written units to come back from their restart,
// closes the overlay and writes demo-after-run.png with the list scrolled to
// its end, where the two failures are.
//
//     tools/demo-pictures.sh
//
// which runs kvx-demo-pictures tools/demo-units.json docs/images inside
// tools/netlab/netlab --units 8. The pictures are real runs, not staged:
// a change in what the updater does shows in them.

#include "common/offscreen.h"
#include "common/lab.h"
#include "common/updaterwindow.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QPixmap>
#include <QQuickItem>
#include <QScreen>
#include <QTest>

#include <cstdio>

namespace {

bool fail(const QString &why)
{
    std::fprintf(stderr, "kvx-demo-pictures: %s\n", qPrintable(why));
    return false;
}

bool save(QQuickWindow *window, const QString &path)
{
    // Lets the list draw what it just laid out, and the check boxes load.
    QTest::qWait(500);
    QImage picture = window->grabWindow();
    // Where the window cannot render itself into a picture (the whole
    // updater on the offscreen platform gives none), the screen's copy of it
    // is the same picture at this size.
    if (picture.isNull() && window->screen())
        picture = window->screen()->grabWindow(window->winId()).toImage();
    if (picture.isNull())
        return fail(QStringLiteral("the window gave no picture"));
    if (!picture.save(path, "PNG"))
        return fail(QStringLiteral("cannot write %1").arg(path));
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Every written unit has restarted and answered again: its tag shows the proof.
bool writtenUnitsBack(const UpdaterWindow &updater)
{
    for (const QString &address : updater.cardAddresses()) {
        if (updater.cardText(address) == QLatin1String("Firmware update completed.")
            && updater.card(address)->property("m_after_update").toString()
                    != QLatin1String("back"))
            return false;
    }
    return true;
}

bool takePictures(const QString &unitsPath, const QDir &out)
{
    QFile file(unitsPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(unitsPath));
    const QJsonObject config = QJsonDocument::fromJson(file.readAll()).object();
    QStringList addresses;
    for (const QJsonValue &unit : config.value(QStringLiteral("units")).toArray())
        addresses << unit.toObject().value(QStringLiteral("address")).toString();
    if (addresses.isEmpty())
        return fail(QStringLiteral("no units in %1").arg(unitsPath));

    LabDevSim sim;
    if (!sim.start(config))
        return fail(sim.errorString());
    UpdaterWindow updater;
    QString why;
    if (!updater.start(&why))
        return fail(why);
    if (!updater.waitForCards(addresses, 15000))
        return fail(QStringLiteral("%1 of %2 units found")
                            .arg(updater.cardCount())
                            .arg(addresses.size()));
    if (!save(updater.window(), out.filePath(QStringLiteral("demo.png"))))
        return false;

    if (!updater.clickButton(QStringLiteral("Select all")))
        return fail(QStringLiteral("no \"Select all\""));
    if (!updater.updateSelected(QStringLiteral("admin")))
        return fail(QStringLiteral("the password dialog did not take the update"));
    if (!updater.waitForFinished(300000))
        return fail(QStringLiteral("no \"Finished.\": %1").arg(updater.statusLine()));
    if (!labWaitUntil([&] { return writtenUnitsBack(updater); }, 60000))
        return fail(QStringLiteral("the written units did not come back"));
    if (!updater.closeOverlay())
        return fail(QStringLiteral("no \"Close\""));
    if (!updater.scrollIntoView(updater.card(updater.cardCount() - 1)))
        return fail(QStringLiteral("cannot scroll to the last card"));
    // The mouse rests on the bottom bar, where no text is cut: no tip.
    QTest::mouseMove(updater.window(), QPoint(5, updater.window()->height() - 5));
    return save(updater.window(), out.filePath(QStringLiteral("demo-after-run.png")));
}

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreenSoftware();
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: %s UNITS.json OUTPUT-DIRECTORY (inside tools/netlab)\n",
                     argv[0]);
        return 2;
    }
    QString why;
    if (!UpdaterWindow::labIsolated(&why)) {
        std::fprintf(stderr, "%s: run it inside the lab: tools/netlab/netlab -- %s\n",
                     qPrintable(why), argv[0]);
        return 77;
    }
    labUseDevsimOfThisBuild(QStringLiteral("../devsim/kvx-devsim"));
    return takePictures(args.at(1), QDir(args.at(2))) ? 0 : 1;
}
