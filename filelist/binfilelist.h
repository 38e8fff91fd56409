#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QFile;

// Firmware files on the user's desktop (names with a dot and three digits),
// published to QML as "binfilelist". The window does not use it: the updater
// only ever writes its embedded image.
class BinFileList : public QObject
{
    Q_OBJECT

public:
    explicit BinFileList(QObject *parent = nullptr);
    ~BinFileList() override;

    bool loadFile(const QString &fileName);

    const QList<QObject *> &nodes() const { return m_nodes; }
    QString folder() const { return m_folder; }
    const QByteArray &content() const { return m_content; }
    qint32 size() const { return m_size; }
    QString fileName() const { return m_fileName; }

    // The name filter, a search rather than a whole-name match.
    static bool isFirmwareName(const QString &name);

private:
    QList<QObject *> m_nodes;
    QString m_folder;
    std::unique_ptr<QFile> m_file;
    QByteArray m_content;
    qint32 m_size = 0;
    QString m_fileName;
};
