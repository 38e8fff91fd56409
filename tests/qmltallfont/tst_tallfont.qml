import QtQuick 2.11
import QtTest 1.2
import "../qml"

// The layout with a font of another family whose lines are far taller than
// those the layout was made with (a Japanese nickname's fallback font does
// this on Windows): every card row, text and button stays inside its box and
// in its place.
UiTestCase {
    id: testCase
    name: "TallFont"

    FontMetrics {
        id: metrics16
        font.pixelSize: 16
    }
    FontMetrics {
        id: metrics15
        font.pixelSize: 15
        font.bold: true
    }

    Component {
        id: mainComponent
        Loader { source: "qrc:/main.qml" }
    }

    // Every visible item under `root` lies inside `box` (both mapped to the
    // box's coordinates). Returns the offenders.
    function outside(root, box) {
        var found = []
        var pending = [root]
        while (pending.length > 0) {
            var it = pending.shift()
            if (!it.visible)
                continue
            var p = it.mapToItem(box, 0, 0)
            if (p.x < -0.5 || p.y < -0.5 || p.x + it.width > box.width + 0.5
                    || p.y + it.height > box.height + 0.5)
                found.push((it.objectName || it.text || it.m_text || String(it)) + " at "
                           + p.x + "," + p.y + " " + it.width + "x" + it.height)
            for (var i = 0; i < it.children.length; ++i)
                pending.push(it.children[i])
        }
        return found
    }

    function test_theFontIsOtherAndTall() {
        compare(Qt.application.font.family, "DejaVu Tall")
        compare(metrics16.font.family, "DejaVu Tall")
        // Lines of a 16-pixel text are 26 pixels or more here, against the
        // rows' 20.
        verify(metrics16.height >= 26, metrics16.height)
        verify(metrics15.height >= 24, metrics15.height)
    }

    function test_cardRowsStayInTheCard() {
        udpmachine.addUnit(address(0), "ステージ左 Stage Left, upper hang and more text to cut",
                           "ZP-9E", "1.02")
        udpmachine.updateUnit(address(0), "m_build", "(build0110)")
        udpmachine.progress("ERROR: The remote host closed the connection", address(0))
        udpmachine.addUnit(address(1), "Short", "VK-3F", "1.04")
        card(1).m_msg = "Waiting"
        for (var row = 0; row < 2; ++row) {
            var c = card(row)
            var frame = c.children[0]
            compare(outside(frame, frame), [])
            var rowNames = ["id_row_nickname", "id_row_model", "id_row_ipaddr", "id_row_version",
                            "id_row_progress"]
            for (var i = 0; i < rowNames.length; ++i) {
                var r = findChild(c, rowNames[i])
                verify(r, rowNames[i])
                // In its specified place, whatever the font.
                compare(r.mapToItem(c, 0, 0).y, 3 + 5 + 28 * i)
                compare(r.height, 20)
                // Each text inside its row.
                compare(outside(r, r), [], rowNames[i])
            }
            compare(c.height, 150)
        }
        compare(findChild(card(0), "id_value_nickname").truncated, true)
    }

    function test_passwordDialogKeepsItsButtons() {
        addUnits(1)
        selectAll()
        view.updateSelectedUnits()
        var dialog = item("id_popup_passwd")
        tryCompare(dialog, "opened", true)
        compare(dialog.height, 200)
        compare(outside(dialog.contentItem, dialog.contentItem), [])
        var update = findButton(dialog.contentItem, "Update")
        compare(update.mapToItem(dialog.contentItem, 0, 0).y, 155)
        compare(item("id_passwd").mapToItem(dialog.contentItem, 0, 0).y, 70)
        keyClick(Qt.Key_Escape)
    }

    function test_overlayKeepsItsLinesAndButtons() {
        addUnits(2)
        selectAll()
        runUpdate()
        udpmachine.progress("Firmware update completed.", address(0))
        udpmachine.removeUnit(address(1))
        tick()
        compare(statusLine(), "Finished.")
        var box = item("id_progress_box")
        // Taller by the line naming the lost unit.
        compare(box.height, 225)
        compare(outside(box, box), [])
        var places = { "id_text_status": 15, "id_text_ok": 50, "id_text_ng": 85, "id_bar": 120,
                       "id_failure_list": 140, "id_button_close": 170, "id_button_save_report": 170 }
        for (var name in places)
            compare(item(name).y, places[name], name)
        verify(item("id_button_save_report").visible)
    }

    function test_saveDialogKeepsItsButtons() {
        addUnits(1)
        selectAll()
        runUpdate()
        udpmachine.progress("Firmware update completed.", address(0))
        tick()
        mouseClick(item("id_button_save_report"))
        var dialog = item("id_popup_save")
        tryCompare(dialog, "opened", true)
        // The longest message it has: an error with a long path.
        dialog.m_error = "Could not save the report to " + new Array(12).join("/a/long/folder")
                + "/r.csv: No such file or directory"
        compare(outside(dialog.contentItem, dialog.contentItem), [])
        compare(findButton(dialog.contentItem, "Save").mapToItem(dialog.contentItem, 0, 0).y, 155)
        keyClick(Qt.Key_Escape)
    }

    function test_warningGrowsAroundItsText() {
        addUnits(49)
        selectAll()
        view.updateSelectedUnits()
        var warning = item("id_popup_warning")
        tryCompare(warning, "opened", true)
        compare(outside(warning.contentItem, warning.contentItem), [])
        var close = findButton(warning.contentItem, "Close")
        verify(close.mapToItem(warning.contentItem, 0, 0).y + close.height <= warning.height - 25)
        mouseClick(close)
    }

    function test_emptyListStaysInTheList() {
        view.m_hintDelayMs = 50
        tryCompare(item("id_text_hint"), "visible", true)
        compare(outside(item("id_empty"), view), [])
    }

    function test_mainWindowBars() {
        var loader = createTemporaryObject(mainComponent, testCase)
        tryCompare(loader, "status", Loader.Ready)
        var window = loader.item
        var top = findChild(window, "top")
        var bottom = findChild(window, "bottom")
        tryCompare(top, "height", 90)
        tryCompare(bottom, "height", 92)
        compare(outside(top, top), [])
        compare(outside(bottom, bottom), [])
        window.close()
    }
}
