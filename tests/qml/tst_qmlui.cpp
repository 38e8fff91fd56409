#include "common/standincore.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

// Runs the tst_*.qml cases of this directory against the shipped QML (from the
// resources), with the stand-in core published as "udpmachine" the way the
// entry publishes the real table.
class QmlUiSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        // The check-box images live in the core library's asset collection.
        Q_INIT_RESOURCE(assets);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("udpmachine"), &m_core);
        context->setContextProperty(QStringLiteral("firmVersion"), QStringLiteral("1.04"));
        context->setContextProperty(QStringLiteral("firmBuild"), QStringLiteral("0119"));
        context->setContextProperty(QStringLiteral("firmModel"), QStringLiteral("VK-3F"));
        context->setContextProperty(QStringLiteral("isZp9e"), false);
        context->setContextProperty(QStringLiteral("isVk3f"), true);
    }

private:
    StandInCore m_core;
};

QUICK_TEST_MAIN_WITH_SETUP(kvx_qml_ui, QmlUiSetup)

#include "tst_qmlui.moc"
