import QtQuick 2.11
import QtTest 1.2

// Every button of every dialog and of the overlay shows its whole caption,
// in whatever font the window has (a caption is drawn smaller, never cut).
UiTestCase {
    id: testCase
    name: "Captions"

    // The visible buttons under an item, by caption.
    function buttonsIn(root, found) {
        if (root.visible === false)
            return found
        if (root.m_text !== undefined && root.m_fontPixelsize !== undefined)
            found.push(root)
        for (var i = 0; i < root.children.length; ++i)
            buttonsIn(root.children[i], found)
        return found
    }

    function checkWhole(root, expected) {
        var buttons = buttonsIn(root, [])
        var captions = []
        for (var i = 0; i < buttons.length; ++i) {
            var label = findChild(buttons[i], "id_caption")
            captions.push(buttons[i].m_text)
            verify(!label.truncated, buttons[i].m_text)
            verify(label.contentWidth <= buttons[i].width - 8, buttons[i].m_text)
            // Only a caption that would not fit is drawn smaller.
            if (label.implicitWidth <= buttons[i].width - 8)
                compare(label.fontInfo.pixelSize, buttons[i].m_fontPixelsize, buttons[i].m_text)
        }
        compare(captions, expected)
    }

    function test_dialogs_data() {
        return [
            { tag: "plan", dialog: "id_popup_plan",
              captions: ["Update older only", "Update all selected", "Cancel"] },
            { tag: "password", dialog: "id_popup_passwd", captions: ["Cancel", "Update"] },
            { tag: "address", dialog: "id_popup_address", captions: ["Cancel", "Add"] },
        ]
    }

    function test_dialogs(data) {
        udpmachine.addUnit(address(0), "Older", "VK-3F", "1.02")
        udpmachine.addUnit(address(1), "Current", "VK-3F", "1.04")
        selectAll()
        if (data.dialog === "id_popup_address")
            view.openAddressDialog()
        else if (data.dialog === "id_popup_passwd")
            item("id_popup_passwd").open()
        else
            view.updateSelectedUnits()
        var dialog = item(data.dialog)
        tryCompare(dialog, "opened", true)
        checkWhole(dialog.contentItem, data.captions)
    }

    function test_overlayAndLists() {
        checkWhole(item("id_empty"), ["Add by address…"])
        addUnits(2)
        selectAll()
        runUpdate("pw")
        udpmachine.progress("ERROR: Connection refused", address(0))
        udpmachine.progress("Firmware update completed.", address(1))
        tick()
        checkWhole(item("id_progress_box"), ["Retry failed (1)", "Close", "Save report…"])
    }
}
