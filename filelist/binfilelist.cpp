#include "filelist/binfilelist.h"

#include "core/rootcontext.h"
#include "filelist/binfilenode.h"

#include <QDir>
#include <QFile>
#include <QMetaType>
#include <QQmlContext>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QVariant>

BinFileList::BinFileList(QObject *parent) : QObject(parent)
{
    const QStringList locations =
            QStandardPaths::standardLocations(QStandardPaths::DesktopLocation);
    if (!locations.isEmpty())
        m_folder = locations.first();

    QDir dir(m_folder);
    if (!m_folder.isEmpty() && dir.exists()) {
        const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                  QDir::Name | QDir::IgnoreCase);
        for (const QString &name : entries) {
            if (!isFirmwareName(name))
                continue;
            auto *node = new BinFileNode;
            node->setValue(name);
            node->setKey(name);
            m_nodes.append(node);
        }
    }

    qRegisterMetaType<QList<QObject *>>("QList<QObject*>");
    if (g_rootContext)
        g_rootContext->setContextProperty(QStringLiteral("binfilelist"),
                                          QVariant::fromValue(m_nodes));
}

BinFileList::~BinFileList()
{
    qDeleteAll(m_nodes);
}

bool BinFileList::isFirmwareName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("\\.[0-9][0-9][0-9]"));
    return pattern.match(name).hasMatch();
}

bool BinFileList::loadFile(const QString &fileName)
{
    m_size = 0;
    m_content.clear();
    m_fileName = fileName;

    // Qt accepts "/" on every platform, unlike the backslash.
    m_file = std::make_unique<QFile>(m_folder + QLatin1Char('/') + fileName);
    if (!m_file->open(QIODevice::ReadOnly)) {
        m_size = 0;
        return false;
    }
    m_size = static_cast<qint32>(m_file->size());
    m_content = m_file->readAll();
    m_file->close();
    return true;
}
