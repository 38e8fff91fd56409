#pragma once

#include <QString>

// How device records report to the table without knowing it: the table turns
// these calls into its signals for the user interface, and lends its lock.
class UdpCB
{
public:
    virtual void addNode(QString arg_str_add) = 0;
    virtual void removeNode(QString arg_str_remove) = 0;
    virtual void updateNode(QString arg_str_update) = 0;
    virtual void fwupProgress(QString arg_progress, QString arg_ipaddr) = 0;
    virtual void lock() = 0;
    virtual void unlock() = 0;

protected:
    ~UdpCB() = default;
};
