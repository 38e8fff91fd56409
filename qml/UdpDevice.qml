import QtQuick 2.11

Item {
    id: id_udpdevice
}
