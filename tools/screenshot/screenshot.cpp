// Renders the updater's window offscreen with the stand-in core and writes the
// pictures the README shows: the device list with units in different states,
// the progress overlay during and after a run, the empty list's hint, the
// cards' version tags before and after an update, and the warning about units
// of another model.
//
//   kvx-screenshot <output directory>
//   kvx-screenshot --scale2 <output directory>   the device list at 200 %

#include "common/offscreen.h"
#include "common/standinwindow.h"
#include "core/programversion.h"
#include "core/runhistory.h"
#include "core/runrecorder.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

void settle(int ms = 100)
{
    // Lets the scene graph draw and the SVG check boxes load.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class Shooter
{
public:
    explicit Shooter(const QString &dir)
        : m_dir(dir), m_recorder(QStringLiteral("kvx-updater ") + programVersion())
    {
        // The run's record goes to a folder of its own, never to a real
        // history.
        m_recorder.setHistory(RunHistory(m_data.filePath(QStringLiteral("runs.jsonl"))));
        m_recorder.setReportFolder(m_data.path());
        // The pictures are staged step by step; the scheduler only runs when
        // told to.
        m_stage.reset(new StandInWindow(StandInWindow::TicksStopped, &m_recorder));
        m_window = m_stage->window();
        m_view = m_stage->view();
    }

    bool ok() const { return m_window; }
    QObject *view() { return m_view; }
    StandInCore &core() { return m_stage->core(); }
    QObject *card(int row) { return m_stage->card(row); }

    void call(const char *function) { QMetaObject::invokeMethod(m_view, function); }

    void resize(int height)
    {
        m_window->resize(480, height);
        settle();
    }

    bool save(const QString &name)
    {
        settle(300);
        m_window->requestUpdate();
        settle();
        // The scene itself, at the window's pixel ratio; the offscreen
        // platform only gives the screen's copy (too small at 200 %).
        QImage image = m_window->grabWindow();
        if (image.isNull())
            image = m_window->screen()->grabWindow(m_window->winId()).toImage();
        const QString path = QDir(m_dir).filePath(name);
        if (image.isNull() || !image.save(path)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

private:
    QString m_dir;
    QTemporaryDir m_data;
    RunRecorder m_recorder;
    std::unique_ptr<StandInWindow> m_stage;
    QQuickWindow *m_window = nullptr;
    QObject *m_view = nullptr;
};

QString address(int i)
{
    return QStringLiteral("10.77.0.%1").arg(10 + i);
}

const char *const kNames[] = { "Stage Left",  "Stage Right", "Monitor 1", "Monitor 2",
                               "Delay Tower", "Foyer",       "Balcony",   "Sub Array" };
// The shipped image is VK-3F's: a rack of its model (other models have a
// picture of their own).
const char *const kModels[] = { "VK-3F", "VK-3F", "VK-3F", "VK-3F",
                                "VK-3F", "VK-3F", "VK-3F", "VK-3F" };

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreenSoftware();
    // The window at 200 %, as on a high-density display.
    const bool scale2 = argc > 1 && qstrcmp(argv[1], "--scale2") == 0;
    if (scale2) {
        qputenv("QT_SCALE_FACTOR", "2");
        --argc;
        ++argv;
    }
    QGuiApplication::setFont(QFont(QStringLiteral("Segoe UI")));
    QGuiApplication app(argc, argv);
    Q_INIT_RESOURCE(assets);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    bool good = true;

    if (scale2) {
        // The list at 200 %: the same units as the list below.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        for (int i = 0; i < 4; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(kNames[i]),
                             QString::fromLatin1(kModels[i]), QStringLiteral("1.02"));
        s.card(1)->setProperty("m_f_selected", true);
        s.core().progress(QStringLiteral("connecting..."), address(2));
        s.core().progress(QStringLiteral("Sending... 37%"), address(2));
        s.core().progress(QStringLiteral("ERROR: The remote host closed the connection"),
                          address(3));
        s.resize(90 + 4 * 150 + 92);
        return s.save(QStringLiteral("device-list-200.png")) ? 0 : 1;
    }
    {
        // The list: idle, ticked, sending, waiting, failed and updated units.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        for (int i = 0; i < 6; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(kNames[i]),
                             QString::fromLatin1(kModels[i]), QStringLiteral("1.02"));
        s.card(1)->setProperty("m_f_selected", true);
        s.core().progress(QStringLiteral("connecting..."), address(2));
        s.core().updateUnit(address(2), QStringLiteral("m_build"), QStringLiteral("(build0107)"));
        s.core().progress(QStringLiteral("Sending... 37%"), address(2));
        // Waiting for a free slot; the stand-in refuses it so that the
        // ticks below leave it waiting.
        s.core().refuse(address(3));
        s.card(3)->setProperty("m_msg", QStringLiteral("Waiting"));
        s.card(3)->setProperty("m_f_selected", true);
        s.call("second_tick");
        s.call("second_tick");
        s.core().progress(QStringLiteral("ERROR: The remote host closed the connection"),
                          address(4));
        s.core().updateUnit(address(5), QStringLiteral("m_version"), QStringLiteral("1.04"));
        s.core().updateUnit(address(5), QStringLiteral("m_build"), QStringLiteral("(build0119)"));
        s.core().progress(QStringLiteral("Firmware update completed."), address(5));
        s.resize(90 + 6 * 150 + 92);
        good = s.save(QStringLiteral("device-list.png")) && good;
    }
    {
        // A run of eight: five at work, three waiting, then its end with one
        // failure and one unit that went off the network.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        for (int i = 0; i < 8; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(kNames[i]),
                             QString::fromLatin1(kModels[i]), QStringLiteral("1.02"));
        s.call("selectAllUnits");
        s.call("start_update");
        s.core().progress(QStringLiteral("Starting..."), address(0));
        s.core().progress(QStringLiteral("Sending... 64%"), address(1));
        s.core().progress(QStringLiteral("Writing"), address(2));
        s.core().progress(QStringLiteral("Firmware update completed."), address(3));
        // Two minutes in, one unit done: the time line and its estimate.
        for (int tick = 0; tick < 130; ++tick)
            s.call("second_tick");
        good = s.save(QStringLiteral("progress-updating.png")) && good;

        for (int i : { 0, 1, 2, 4, 5 })
            s.core().progress(QStringLiteral("Firmware update completed."), address(i));
        s.call("second_tick");
        s.call("second_tick");
        s.core().progress(QStringLiteral("ERROR: Detected NG response from the unit."), address(6));
        s.core().removeUnit(address(7));
        s.call("second_tick");
        good = s.save(QStringLiteral("progress-finished.png")) && good;
    }
    {
        // No unit has answered for a while: the list says why that may be.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        s.core().setSearchInterfaceCount(2);
        s.view()->setProperty("m_hintDelayMs", 50);
        good = s.save(QStringLiteral("empty-list.png")) && good;
    }
    {
        // Version tags: how each unit stands against 1.04 (build0119), and
        // after an update whether the unit came back running it.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        struct Unit
        {
            const char *name;
            const char *model;
            const char *version;
        };
        const Unit units[] = {
            { "Stage Left", "VK-3F", "1.02" }, { "Stage Right", "VK-3F", "1.04" },
            { "Monitor 1", "VK-3F", "1.10" },  { "Delay Tower", "ZP-9E", "1.02" },
            { "Foyer", "VK-3F", "1.02" },      { "Balcony", "VK-3F", "1.02" },
            { "Sub Array", "VK-3F", "1.02" }
        };
        for (int i = 0; i < 7; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(units[i].name),
                             QString::fromLatin1(units[i].model),
                             QString::fromLatin1(units[i].version));
        for (int i : { 4, 5, 6 }) {
            s.core().updateUnit(address(i), QStringLiteral("m_build"),
                                QStringLiteral("(build0100)"));
            s.core().progress(QStringLiteral("Firmware update completed."), address(i));
        }
        // Back with the image; back with its old firmware; still restarting.
        s.core().updateUnit(address(4), QStringLiteral("m_version"), QStringLiteral("1.04"));
        s.core().updateUnit(address(4), QStringLiteral("m_build"), QString());
        s.core().updateUnit(address(4), QStringLiteral("m_after_update"), QStringLiteral("back"));
        s.core().updateUnit(address(5), QStringLiteral("m_after_update"), QStringLiteral("back"));
        s.resize(90 + 7 * 150 + 92);
        good = s.save(QStringLiteral("version-tags.png")) && good;
    }
    {
        // "Update selected units" with units that are not older than the
        // image ticked: the plan.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        const char *versions[] = { "1.02", "1.04", "1.02", "1.10", "1.02", "1.04" };
        for (int i = 0; i < 6; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(kNames[i]),
                             QString::fromLatin1(i == 4 ? "ZP-9E" : "VK-3F"),
                             QString::fromLatin1(versions[i]));
        s.call("selectAllUnits");
        s.call("updateSelectedUnits");
        good = s.save(QStringLiteral("plan.png")) && good;
    }
    {
        // Ctrl+D: a unit on another subnet, by its address.
        Shooter s(dir);
        if (!s.ok())
            return 1;
        for (int i = 0; i < 3; ++i)
            s.core().addUnit(address(i), QString::fromLatin1(kNames[i]),
                             QString::fromLatin1(kModels[i]), QStringLiteral("1.02"));
        s.call("openAddressDialog");
        if (QObject *field = s.view()->findChild<QObject *>(QStringLiteral("id_address")))
            field->setProperty("text", QStringLiteral("192.168.20.31"));
        good = s.save(QStringLiteral("add-by-address.png")) && good;
    }
    return good ? 0 : 1;
}
