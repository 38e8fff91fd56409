#include "filelist/binfilenode.h"

BinFileNode::BinFileNode(QObject *parent) : QObject(parent) { }

void BinFileNode::setKey(const QString &key)
{
    if (key == m_key)
        return;
    m_key = key;
    emit keyChanged();
}

void BinFileNode::setValue(const QString &value)
{
    if (value == m_value)
        return;
    m_value = value;
    emit valueChanged();
}
