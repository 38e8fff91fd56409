// A probe that the Windows stage loads into the real kvx-updater.exe through
// Qt's standard hook for input plug-ins (QT_QPA_GENERIC_PLUGINS; under Wine
// WINEQT_QPA_GENERIC_PLUGINS), so that the program under test is exactly the
// one that ships. Once the main window is shown it writes what the window
// shows into a report, optionally takes a picture of the whole screen, and
// closes the window as its close button would.
//
//   KVX_PROBE_REPORT    file for the report: "title <window title>",
//                       "size <w>x<h>", then "text <text>" for every visible
//                       text item, in the order of the item tree
//   KVX_PROBE_GRAB      PNG file for a picture of the screen (optional)
//   KVX_PROBE_SETTLE_MS how long to let the window run first (default 0)
//   KVX_PROBE_KEEP      set: leave the window open
#include <QFile>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QPixmap>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

namespace {

void collectTexts(QQuickItem *item, QStringList *texts)
{
    if (!item->isVisible())
        return;
    if (item->inherits("QQuickText"))
        *texts << item->property("text").toString();
    const QList<QQuickItem *> children = item->childItems();
    for (QQuickItem *child : children)
        collectTexts(child, texts);
}

class WindowProbe : public QObject
{
public:
    WindowProbe()
    {
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, [this] { look(); });
        m_poll.start();
    }

private:
    void look()
    {
        QQuickWindow *window = nullptr;
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (QWindow *w : windows) {
            auto *quick = qobject_cast<QQuickWindow *>(w);
            if (quick && quick->isExposed())
                window = quick;
        }
        if (!window)
            return;
        m_poll.stop();
        const int settle = qEnvironmentVariableIntValue("KVX_PROBE_SETTLE_MS");
        QTimer::singleShot(settle, window, [window] { report(window); });
    }

    static void report(QQuickWindow *window)
    {
        QStringList texts;
        collectTexts(window->contentItem(), &texts);
        QFile file(qEnvironmentVariable("KVX_PROBE_REPORT"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            QTextStream out(&file);
            out.setCodec("UTF-8");
            out << "title " << window->title() << '\n'
                << "size " << window->width() << 'x' << window->height() << '\n';
            for (const QString &text : qAsConst(texts))
                out << "text " << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))
                    << '\n';
        }
        const QString grab = qEnvironmentVariable("KVX_PROBE_GRAB");
        if (!grab.isEmpty() && window->screen())
            window->screen()->grabWindow(0).save(grab, "PNG");
        if (!qEnvironmentVariableIsSet("KVX_PROBE_KEEP"))
            window->close();
    }

    QTimer m_poll;
};

class WindowProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "windowprobe.json")

public:
    QObject *create(const QString &key, const QString &) override
    {
        return key == QLatin1String("kvxwindowprobe") ? new WindowProbe : nullptr;
    }
};

} // namespace

#include "windowprobe.moc"
