#include "core/passwordaccessible.h"
#include "core/programversion.h"
#include "core/rootcontext.h"
#include "core/runrecorder.h"
#include "discovery/udpmm.h"

#include <QFont>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QUrl>

int main(int argc, char *argv[])
{
    // Font and scaling must be set before the application object exists.
    QGuiApplication::setFont(QFont(QStringLiteral("Segoe UI")));
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);

    int result = 0;
    {
        QGuiApplication app(argc, argv);
        // Accessibility clients get no password from the password field.
        PasswordAccessible::install();
        QQmlApplicationEngine engine;
        g_rootContext = engine.rootContext();
        {
            // The table publishes the image properties through g_rootContext,
            // and the window's bindings read all five when it is created.
            UdpMachineList table;
            engine.rootContext()->setContextProperty(QStringLiteral("udpmachine"), &table);
            // Keeps the run history and writes reports; it reads nothing
            // and hashes nothing until a unit's run ends.
            RunRecorder recorder(QStringLiteral("kvx-updater ") + programVersion());
            recorder.setImage(table.binfile());
            engine.rootContext()->setContextProperty(QStringLiteral("runrecorder"), &recorder);
            engine.load(QUrl(QStringLiteral("qrc:/main.qml"), QUrl::TolerantMode));
            result = app.exec();
        } // tear-down in reverse order: the table, the engine, the application

        g_rootContext = nullptr;
    }
    return result;
}
