import QtQuick 2.11
import QtQuick.Controls 2.4

// The frame every dialog of the list shares: a modal box on the window's
// overlay layer, centred on the window, in the list's colours. It dims
// nothing itself: the list draws one dimming for all of them (see
// id_dialog_dimmer in UdpListView.qml). Only its buttons close it unless a
// dialog says otherwise.
Popup {
    parent: Overlay.overlay
    x: (base_window.width - width) / 2
    y: (base_window.height - height) / 2
    width: 300
    modal: true
    dim: false
    focus: true
    padding: 0
    closePolicy: Popup.NoAutoClose

    background: Rectangle {
        color: "#ededed"
        radius: 4
        border.width: 1
        border.color: "#454545"
    }
}
