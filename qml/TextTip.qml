import QtQuick 2.11
import QtQuick.Controls 2.4

// The tip that shows a cut-short card text whole: one for the whole list,
// placed under the text the mouse rests on (above it when there is no room
// below), after the mouse has rested there a while.
Rectangle {
    id: id_text_tip

    // How long the mouse rests before the tip shows.
    property int m_delayMs: 500
    property Item m_target: null
    property string m_text: ""

    function show(target, text) {
        if (m_target === target && m_text === text)
            return
        visible = false
        m_target = target
        m_text = text
        id_tip_timer.restart()
    }

    function hide() {
        id_tip_timer.stop()
        visible = false
        m_target = null
        m_text = ""
    }

    function place() {
        var target = m_target
        if (!target)
            return
        var below = target.mapToItem(parent, 0, target.height + 4)
        var above = target.mapToItem(parent, 0, -4)
        x = Math.max(6, Math.min(below.x, base_window.width - width - 6))
        y = below.y + height <= base_window.height ? below.y : Math.max(0, above.y - height)
        visible = true
    }

    parent: Overlay.overlay
    z: 100
    visible: false
    width: Math.min(id_tip_metrics.advanceWidth + 13, base_window.width - 12)
    height: id_tip_text.height + 8
    color: "#ffffe1"
    border.color: "#767676"
    border.width: 1
    onM_targetChanged: if (!m_target) visible = false

    Timer {
        id: id_tip_timer
        interval: id_text_tip.m_delayMs
        onTriggered: id_text_tip.place()
    }

    TextMetrics {
        id: id_tip_metrics
        font: id_tip_text.font
        text: id_text_tip.m_text
    }
    Text {
        id: id_tip_text
        objectName: "id_tip_text"
        x: 6
        y: 4
        width: parent.width - 12
        text: id_text_tip.m_text
        textFormat: Text.PlainText
        wrapMode: Text.WrapAnywhere
        font.pixelSize: 14
    }
}
