import QtQuick 2.11
import QtQuick.Controls 2.4

// One line of text that is cut with "…" when it is too long for its place,
// and shown whole in a tip while the mouse rests on it. For the texts of the
// dialogs and the overlay; the cards do without one each (a hover area costs
// every card memory): the list's one hover area and TextTip serve them all.
//
// Plain text, like every text the window shows.
Text {
    id: id_cut_text

    textFormat: Text.PlainText
    elide: Text.ElideRight
    verticalAlignment: Text.AlignVCenter

    ToolTip.text: text
    ToolTip.delay: 500
    ToolTip.visible: truncated && id_cut_text_hover.containsMouse

    // Takes no buttons: presses go on to whatever lies beneath.
    MouseArea {
        id: id_cut_text_hover
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        hoverEnabled: true
    }
}
