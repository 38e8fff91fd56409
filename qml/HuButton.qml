import QtQuick 2.11

// The one push-button of the interface. Every use sets its size and caption
// size; the defaults only keep a bare button usable.
MouseArea {
    id: root

    property alias m_text: hubutext.text
    property alias m_fontPixelsize: hubutext.font.pixelSize
    property alias m_border: rect.border

    width: 93
    height: 45

    Rectangle {
        id: rect
        anchors.fill: parent
        radius: 2
        color: root.pressed ? "#aaaaaa" : "#cccccc"
        border.color: "black"
        border.width: 1
    }

    Text {
        id: hubutext
        anchors.fill: parent
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        font.bold: true
        font.pixelSize: 14
    }
}
