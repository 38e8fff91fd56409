import QtQuick 2.11
import QtQuick.Controls 2.4

// Asked before the password when the selection holds units that are not
// older than the embedded image: the same, newer, another model's, or of a
// version nobody knows. "Update older only" (the default) leaves those out,
// "Update all selected" writes every selected unit, "Cancel" keeps the
// selection as it is. The rule is the core's (udpmachine.planWrites), the
// rule of kvx-update's --outdated.
HuDialog {
    id: id_plan_dialog

    // The selection, by how each unit stands against the image.
    property int m_nofSelected: 0
    property int m_nofOlder: 0
    property int m_nofCurrent: 0
    property int m_nofNewer: 0
    property int m_nofOtherModel: 0
    property int m_nofUnknown: 0
    property string m_imageModel: ""
    property string m_imageVersion: ""

    // The choice; the dialog has closed.
    signal sig_olderOnly
    signal sig_allSelected

    // "Not older: 3 current, 1 newer.": the groups that are not older, in
    // the order of the cards' tags.
    function notOlderText() {
        var parts = []
        if (m_nofCurrent > 0)
            parts.push(m_nofCurrent + " current")
        if (m_nofNewer > 0)
            parts.push(m_nofNewer + " newer")
        if (m_nofOtherModel > 0)
            parts.push(m_nofOtherModel + " not " + m_imageModel)
        if (m_nofUnknown > 0)
            parts.push(m_nofUnknown + " of unknown version")
        return "Not older: " + parts.join(", ") + "."
    }

    height: id_column_plan.implicitHeight
    // Enter takes the default; with nothing older, there is none but Cancel.
    onOpened: (m_nofOlder > 0 ? id_button_older_only : id_button_plan_cancel).forceActiveFocus()

    contentItem: Column {
        id: id_column_plan
        spacing: 0
        Item { width: 15; height: 20 }
        Text {
            id: id_text_plan
            objectName: "id_text_plan"
            x: 30
            width: 240
            text: m_nofOlder + " of the " + m_nofSelected + " selected units run a version older than "
                  + m_imageVersion + "."
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            font.bold: true
            font.pixelSize: 15
        }
        Item { width: 15; height: 8 }
        Text {
            id: id_text_plan_rest
            objectName: "id_text_plan_rest"
            x: 30
            width: 240
            text: notOlderText()
            textFormat: Text.PlainText
            wrapMode: Text.WrapAtWordBoundaryOrAnywhere
            font.pixelSize: 15
        }
        Item { width: 15; height: 20 }
        // One above the other and as wide as the text: every caption
        // whole, in any font the window falls back to.
        HuButton {
            id: id_button_older_only
            objectName: "id_button_older_only"
            x: 30
            width: 240
            height: 32
            m_text: "Update older only"
            m_fontPixelsize: 15
            enabled: m_nofOlder > 0
            opacity: enabled ? 1 : 0.5
            activeFocusOnTab: enabled
            onClicked: {
                id_plan_dialog.close()
                id_plan_dialog.sig_olderOnly()
            }
        }
        Item { width: 15; height: 10 }
        HuButton {
            id: id_button_all_selected
            objectName: "id_button_all_selected"
            x: 30
            width: 240
            height: 32
            m_text: "Update all selected"
            m_fontPixelsize: 15
            onClicked: {
                id_plan_dialog.close()
                id_plan_dialog.sig_allSelected()
            }
        }
        Item { width: 15; height: 10 }
        HuButton {
            id: id_button_plan_cancel
            objectName: "id_button_plan_cancel"
            x: 30
            width: 240
            height: 32
            m_text: "Cancel"
            m_fontPixelsize: 15
            onClicked: id_plan_dialog.close()
        }
        Item { width: 15; height: 20 }
    }
}
