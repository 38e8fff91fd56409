import QtQuick 2.11
import QtQuick.Controls 2.4

// The progress of an update run over the whole window: what is going on,
// how many units succeeded and failed (and were lost, once the run is over),
// and a bar of the units that have ended. The list owns the counts; this
// only shows them.
Rectangle {
    id: id_progress_overlay

    // The run is over: "Finished." and the Close button.
    property bool m_f_run_over: false
    property string m_dash: ""
    property int m_nofUpdateUnits: 0
    property int m_nofOKUnits: 0
    property int m_nofNGUnits: 0
    property int m_nofEndOfWorkUnits: 0
    property int m_nofLostUnits: 0
    // A report can be saved (the program records its runs).
    property bool m_f_can_save: false
    // While the run is under way: "5 working · 12 waiting · 4:10", and
    // once a unit has ended, "about 9 min left" (empty before).
    property string m_timeText: ""
    property string m_leftText: ""
    // Once the run is over: each unit that failed or was lost, as
    // { "name", "address", "reason" }, and how many of them can be ticked
    // and started again.
    property var m_failures: []
    property int m_nofRetryable: 0

    readonly property bool m_f_show_failures: m_f_run_over && m_failures.length > 0
    // The list shows up to four lines and scrolls beyond.
    readonly property int m_failureListHeight: m_f_show_failures
                                               ? Math.min(m_failures.length, 4) * 20 : 0

    // Close (or Escape once the run is over).
    signal sig_close
    signal sig_saveReport
    // "Retry failed (n)".
    signal sig_retryFailed
    // The Close button has come into sight: the run is over as far as the
    // installer can tell, also when the overlay opens on a run already over.
    signal sig_closeShown

    parent: Overlay.overlay
    x: 0
    y: 0
    width: base_window.width
    height: base_window.height
    color: "#88000000"
    visible: false

    Keys.onEscapePressed: {
        event.accepted = true
        if (m_f_run_over)
            sig_close()
    }

    // Takes every click so that neither the cards nor the bottom bar
    // react during a run. It has no wheel handler: wheel events go on to
    // the list beneath, so the technician can still scroll through the
    // cards and watch each one.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
    }

    // Every line and the buttons have fixed places: lines of 20 pixels
    // (what "Segoe UI" takes at 15 pixels), so that a fallback font with
    // taller lines moves nothing.
    Rectangle {
        id: id_progress_box
        objectName: "id_progress_box"
        x: (base_window.width - width) / 2
        y: (base_window.height - height) / 2
        width: 300
        // Taller by the list of failures and the retry button, when there
        // are failures to show.
        height: m_f_show_failures ? id_button_close.y + id_button_close.height + 23 : 200
        color: "#ededed"
        radius: 4
        border.width: 1
        border.color: "#454545"

        Text {
            id: id_text_status
            objectName: "id_text_status"
            x: 14
            y: 15
            width: parent.width - x
            height: 20
            text: m_f_run_over ? "Finished." : "Updating" + m_dash
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            font.bold: true
            font.pixelSize: 15
        }
        Text {
            id: id_text_ok
            objectName: "id_text_ok"
            x: 50
            y: 50
            width: parent.width - x
            height: 20
            text: m_nofOKUnits + " suceeded"
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            font.bold: true
            font.pixelSize: 15
        }
        Text {
            id: id_text_ng
            objectName: "id_text_ng"
            x: 50
            y: 85
            width: parent.width - x
            height: 20
            text: m_nofNGUnits + " failed"
                  + (m_nofLostUnits !== 0 ? " and " + m_nofLostUnits + "lost" : "")
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            font.bold: true
            font.pixelSize: 15
        }
        Rectangle {
            id: id_bar
            objectName: "id_bar"
            x: 15
            y: 120
            width: 270
            height: 10
            color: "#454545"
            Rectangle {
                id: id_bar_fill
                objectName: "id_bar_fill"
                // A unit that reports twice must not push the fill
                // past the bar's end.
                readonly property real m_fillWidth: m_nofUpdateUnits > 0
                    ? Math.min(id_bar.width * m_nofEndOfWorkUnits / m_nofUpdateUnits, id_bar.width) - 2
                    : 0
                x: 1
                y: 1
                width: Math.max(0, m_fillWidth)
                height: 8
                visible: m_fillWidth > 0
                color: "#41ccff"
            }
        }
        Text {
            id: id_text_time
            objectName: "id_text_time"
            x: 15
            y: 143
            width: 270
            height: 20
            text: m_timeText
            visible: !m_f_run_over && m_timeText !== ""
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
            font.pixelSize: 15
        }
        Text {
            id: id_text_left
            objectName: "id_text_left"
            x: 15
            y: 165
            width: 270
            height: 20
            text: m_leftText
            visible: !m_f_run_over && m_leftText !== ""
            textFormat: Text.PlainText
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
            font.pixelSize: 15
        }

        // What went wrong, unit by unit; the cards beneath are out of sight.
        ListView {
            id: id_failure_list
            objectName: "id_failure_list"
            x: 15
            y: 140
            width: 270
            height: m_failureListHeight
            visible: m_f_show_failures
            clip: true
            model: m_failures
            boundsBehavior: Flickable.StopAtBounds
            activeFocusOnTab: visible
            keyNavigationEnabled: true
            highlightFollowsCurrentItem: true
            Accessible.role: Accessible.List
            Accessible.name: "Units that failed or were lost"
            ScrollBar.vertical: ScrollBar {}
            delegate: CutText {
                objectName: "id_failure_line"
                width: id_failure_list.width - 8
                height: 20
                text: modelData.name + " (" + modelData.address + "): " + modelData.reason
                font.pixelSize: 13
                font.bold: id_failure_list.activeFocus && ListView.isCurrentItem
                Accessible.role: Accessible.ListItem
                Accessible.name: text
            }
        }
        HuButton {
            id: id_button_retry_failed
            objectName: "id_button_retry_failed"
            x: 15
            y: id_failure_list.y + id_failure_list.height + 10
            width: 270
            height: 32
            m_text: "Retry failed (" + m_nofRetryable + ")"
            m_fontPixelsize: 15
            visible: m_f_show_failures && m_nofRetryable > 0
            onClicked: id_progress_overlay.sig_retryFailed()
        }
        HuButton {
            id: id_button_close
            objectName: "id_button_close"
            x: 15
            y: m_f_show_failures ? id_button_retry_failed.y + (id_button_retry_failed.visible ? 42 : 0)
                                 : 145
            width: 99
            height: 32
            m_text: "Close"
            m_fontPixelsize: 15
            visible: m_f_run_over
            // Also when the overlay opens on a run that is already
            // over: the button becomes visible with it.
            onVisibleChanged: if (visible) id_progress_overlay.sig_closeShown()
            onClicked: id_progress_overlay.sig_close()
        }
        // The record of the run, for the installer to hand over.
        HuButton {
            id: id_button_save_report
            objectName: "id_button_save_report"
            x: 139
            y: id_button_close.y
            width: 146
            height: 32
            m_text: "Save report…"
            m_fontPixelsize: 15
            visible: m_f_run_over && m_f_can_save
            onClicked: id_progress_overlay.sig_saveReport()
        }
    }
}
