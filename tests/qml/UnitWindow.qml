import QtQuick 2.11
import QtQuick.Controls 2.4
import "qrc:/"

// The device list as the main window holds it: the same size, under the id
// the list's dialogs centre themselves on.
ApplicationWindow {
    id: base_window
    width: 480
    height: 700
    visible: true

    property alias view: id_view_udplist

    UdpListView {
        id: id_view_udplist
        anchors.fill: parent
    }
}
