import QtQuick 2.11

// The one push-button of the interface. Every use sets its size and caption
// size; the defaults only keep a bare button usable.
//
// It works from the keyboard as well: Tab reaches it (a frame shows where the
// keyboard is), Space presses it as the mouse does (the face darkens while the
// key is held, the click comes on release), Enter or Return click at once.
// Screen readers see a button named by its caption.
MouseArea {
    id: root

    property alias m_text: hubutext.text
    property alias m_fontPixelsize: hubutext.font.pixelSize
    property alias m_border: rect.border
    property bool m_f_keyDown: false

    width: 93
    height: 45
    activeFocusOnTab: true

    Accessible.role: Accessible.Button
    Accessible.name: m_text
    Accessible.focusable: true
    Accessible.onPressAction: root.clicked(null)

    Keys.onPressed: {
        if (event.key === Qt.Key_Space) {
            event.accepted = true
            if (!event.isAutoRepeat)
                m_f_keyDown = true
        } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
            event.accepted = true
            if (!event.isAutoRepeat)
                root.clicked(null)
        }
    }
    Keys.onReleased: {
        if (event.key !== Qt.Key_Space || event.isAutoRepeat)
            return
        event.accepted = true
        if (m_f_keyDown) {
            m_f_keyDown = false
            root.clicked(null)
        }
    }
    // Focus that moves away while Space is held takes the press with it.
    onActiveFocusChanged: if (!activeFocus) m_f_keyDown = false

    Rectangle {
        id: rect
        anchors.fill: parent
        radius: 2
        color: root.pressed || root.m_f_keyDown ? "#aaaaaa" : "#cccccc"
        border.color: "black"
        border.width: 1
    }

    // The whole caption, always: in a font wider than the one the button
    // was sized for, it is drawn smaller rather than cut short.
    Text {
        id: hubutext
        objectName: "id_caption"
        anchors.fill: parent
        anchors.leftMargin: 4
        anchors.rightMargin: 4
        textFormat: Text.PlainText
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        fontSizeMode: Text.HorizontalFit
        minimumPixelSize: 8
        elide: Text.ElideRight
        font.bold: true
        font.pixelSize: 14
    }

    // Inside the border, so that it never reaches beyond the button's box.
    Rectangle {
        objectName: "id_focus_frame"
        anchors.fill: parent
        anchors.margins: 2
        radius: 2
        color: "transparent"
        border.color: "#1f6fd1"
        border.width: 2
        visible: root.activeFocus
    }
}
