#pragma once

#include <QObject>
#include <QString>

// One firmware file of the desktop folder, as QML sees it.
class BinFileNode : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString key READ key WRITE setKey NOTIFY keyChanged)
    Q_PROPERTY(QString value READ value WRITE setValue NOTIFY valueChanged)

public:
    explicit BinFileNode(QObject *parent = nullptr);

    QString key() const { return m_key; }
    void setKey(const QString &key);
    QString value() const { return m_value; }
    void setValue(const QString &value);

signals:
    void keyChanged();
    void valueChanged();

private:
    QString m_key;
    QString m_value;
};
