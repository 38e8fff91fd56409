import QtQuick 2.11

// Shown while the list has no card: that it is searching, on how many
// network adapters, and after a while why units may not appear.
Column {
    id: id_empty_hint

    property int m_nofSearchInterfaces: 0
    // The wait for a first unit has been long enough to say why none came.
    property bool m_f_hint_shown: false

    // "Add by address…" was pressed.
    signal sig_addByAddress

    spacing: 6

    Text {
        objectName: "id_text_searching"
        width: parent.width
        height: 24
        text: "Searching for units…"
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        font.pixelSize: 18
        font.bold: true
        color: "#e8e8e8"
    }
    Text {
        objectName: "id_text_adapters"
        width: parent.width
        height: 20
        text: m_nofSearchInterfaces === 0 ? "No network adapter to search on."
            : m_nofSearchInterfaces === 1 ? "on 1 network adapter"
            : "on " + m_nofSearchInterfaces + " network adapters"
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        font.pixelSize: 15
        color: "#c8c8c8"
    }
    Text {
        objectName: "id_text_hint"
        width: parent.width
        text: "No unit has answered yet. This PC must be on the units' network, "
              + "and network switches that filter multicast hide units from the search: "
              + "\"Add by address\" (Ctrl+D) reaches a unit without it."
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        font.pixelSize: 15
        color: "#c8c8c8"
        visible: m_f_hint_shown
    }
    Item { width: 10; height: 6 }
    HuButton {
        objectName: "id_button_add_by_address"
        x: (parent.width - width) / 2
        width: 200
        height: 32
        m_text: "Add by address…"
        m_fontPixelsize: 15
        onClicked: id_empty_hint.sig_addByAddress()
    }
}
