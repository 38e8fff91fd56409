import QtQuick 2.11
import QtTest 1.2

// The window's record of a run: a history line the moment each unit's run
// ends (completed, failed, gone, or lost when the run is over), and, once the
// overlay says "Finished.", "Save report…" beside "Close" with a save dialog.
UiTestCase {
    id: testCase
    name: "RunRecord"

    function selectUnits(n) {
        addUnits(n)
        selectAll()
    }

    // Completed, and back at once running the image: the unit's line is
    // written when it is back.
    function complete(i) {
        udpmachine.progress("Firmware update completed.", address(i))
        comeBack(i, "1.04")
    }

    function comeBack(i, version) {
        udpmachine.updateUnit(address(i), "m_version", version)
        udpmachine.updateUnit(address(i), "m_after_update", "back")
    }

    function fail(i) {
        udpmachine.progress("ERROR: Connection refused", address(i))
    }

    function historyOf(list) {
        var out = []
        for (var i = 0; i < list.length; ++i)
            out.push(list[i].address + " " + list[i].result)
        return out
    }

    function saveButton() { return item("id_button_save_report") }

    // Opens the save dialog from the finished overlay.
    function openSave() {
        mouseClick(saveButton())
        var dialog = item("id_popup_save")
        tryCompare(dialog, "opened", true)
        return dialog
    }

    function test_lineAsEachUnitEnds() {
        selectUnits(3)
        card(1).m_nickname = "Stage, \"Left\""
        runUpdate()
        compare(testfiles.history().length, 0)
        complete(1)
        compare(historyOf(testfiles.history()), [address(1) + " succeeded"])
        fail(0)
        compare(historyOf(testfiles.history()), [address(1) + " succeeded", address(0) + " failed"])
        udpmachine.removeUnit(address(2))
        compare(historyOf(testfiles.history()),
                [address(1) + " succeeded", address(0) + " failed", address(2) + " lost"])
        tick()
        compare(statusLine(), "Finished.")
        compare(testfiles.history().length, 3)
        var line = testfiles.history()[0]
        compare(line.nickname, "Stage, \"Left\"")
        compare(line.model, "VK-3F")
        compare(line.versionBefore, "1.02")
        compare(line.versionAfter, "1.04")
        compare(line.lastText, "Firmware update completed.")
        compare(line.program, "kvx-updater 1.0")
        compare(line.imageModel, "VK-3F")
        compare(line.imageVersion, "1.04")
        compare(line.imageBuild, "0119")
        verify(line.started !== "" && line.ended !== "" && line.run !== "")
        compare(testfiles.history()[1].lastText, "ERROR: Connection refused")
    }

    // The line of a completed unit waits for the unit to come back, and says
    // what it came back with; a report saved meanwhile says how many wait.
    function test_lineWhenBack_data() {
        return [
            { tag: "back with the image", version: "1.04", result: "succeeded", after: "1.04" },
            { tag: "back unchanged", version: "1.02", result: "not updated", after: "1.02" },
            { tag: "not back", version: "", result: "", after: "" },
        ]
    }

    function test_lineWhenBack(data) {
        selectUnits(2)
        runUpdate()
        udpmachine.progress("Firmware update completed.", address(0))
        udpmachine.progress("Firmware update completed.", address(1))
        compare(testfiles.history().length, 0)
        tick()
        compare(statusLine(), "Finished.")
        if (data.version !== "")
            comeBack(0, data.version)
        var dialog = openSave()
        mouseClick(findButton(dialog.contentItem, "Save"))
        compare(item("id_text_save_message").text.split("\n")[1],
                data.version === ""
                ? "2 units were still restarting: no version after the update for them."
                : "1 unit was still restarting: no version after the update for it.")
        keyClick(Qt.Key_Escape)
        if (data.version === "") {
            compare(testfiles.history().length, 0)
            return
        }
        compare(historyOf(testfiles.history()), [address(0) + " " + data.result])
        compare(testfiles.history()[0].versionAfter, data.after)
        compare(testfiles.history()[0].versionBefore, "1.02")
        // Only once.
        udpmachine.updateUnit(address(0), "m_after_update", "")
        comeBack(0, data.version)
        compare(testfiles.history().length, 1)
    }

    function test_versionBeforeWithBuild() {
        selectUnits(1)
        runUpdate()
        udpmachine.updateUnit(address(0), "m_build", "(build0110)")
        complete(0)
        compare(testfiles.history()[0].versionBefore, "1.02 (build0110)")
    }

    function test_lineBeforeTheNextUnitStarts() {
        selectUnits(6)
        runUpdate()
        compare(udpmachine.callCount, 5)
        complete(2)
        // The sixth unit starts only at the next tick; the line is there now.
        compare(historyOf(testfiles.history()), [address(2) + " succeeded"])
        tick()
        compare(udpmachine.callCount, 6)
    }

    function test_unitNeverStartedIsLostWhenTheRunIsOver() {
        selectUnits(2)
        udpmachine.refuse(address(1))
        runUpdate()
        complete(0)
        compare(testfiles.history().length, 1)
        tick()
        compare(statusLine(), "Finished.")
        compare(historyOf(testfiles.history()), [address(0) + " succeeded", address(1) + " lost"])
        // Only once, whatever happens after.
        mouseClick(item("id_button_close"))
        udpmachine.removeUnit(address(1))
        compare(testfiles.history().length, 2)
    }

    function test_onlyUnitsOfTheRun() {
        addUnits(3)
        card(0).m_f_selected = true
        runUpdate()
        udpmachine.addUnit(address(5), "late")
        // Texts from units that are not part of the run record nothing.
        complete(1)
        fail(5)
        udpmachine.removeUnit(address(2))
        complete(0)
        tick()
        compare(historyOf(testfiles.history()), [address(0) + " succeeded"])
    }

    function test_secondErrorOfAUnitRecordsNothing() {
        selectUnits(1)
        runUpdate()
        udpmachine.progress("ERROR: Detected NG response from the unit.", address(0))
        udpmachine.progress("ERROR: The remote host closed the connection", address(0))
        compare(view.m_nofNGUnits, 2) // the overlay's own count is unchanged
        compare(testfiles.history().length, 1)
        compare(testfiles.history()[0].lastText, "ERROR: Detected NG response from the unit.")
    }

    function test_eachRunItsOwnLines() {
        selectUnits(1)
        runUpdate()
        fail(0)
        tick()
        mouseClick(item("id_button_close"))
        card(0).m_f_selected = true
        runUpdate()
        complete(0)
        var lines = testfiles.history()
        compare(historyOf(lines), [address(0) + " failed", address(0) + " succeeded"])
        compare(runrecorder.recordCount, 1)
    }

    function test_saveButtonBesideCloseOnceFinished() {
        selectUnits(1)
        runUpdate()
        compare(saveButton().visible, false)
        complete(0)
        tick()
        compare(statusLine(), "Finished.")
        compare(saveButton().visible, true)
        compare(saveButton().m_text, "Save report…")
        var close = item("id_button_close")
        var box = item("id_progress_box")
        compare(saveButton().y, close.y)
        compare(saveButton().height, close.height)
        verify(saveButton().x >= close.x + close.width + 10)
        verify(saveButton().x + saveButton().width <= box.width - 10)
        // Gone with the overlay's "Finished." when a unit works again.
        udpmachine.progress("Sending... 3%", address(0))
        tick()
        compare(saveButton().visible, false)
    }

    function test_saveDialogWritesTheReport() {
        selectUnits(2)
        card(0).m_nickname = "=cmd|' /C calc'!A0"
        runUpdate()
        complete(0)
        fail(1)
        tick()
        var dialog = openSave()
        var field = item("id_report_path")
        verify(field.activeFocus)
        var path = field.text
        verify(path.indexOf(testfiles.path("Documents/kvx-report-")) === 0, path)
        verify(/kvx-report-\d{4}-\d\d-\d\d-\d{6}\.csv$/.test(path), path)
        mouseClick(findButton(dialog.contentItem, "Save"))
        compare(item("id_text_save_message").text, "Saved: " + path)
        compare(findButton(dialog.contentItem, "Close").m_text, "Close")
        var rows = testfiles.csvRows(path.substring(testfiles.path("").length))
        compare(rows.length, 3)
        compare(rows[1][3], address(0))
        compare(rows[1][5], "'=cmd|' /C calc'!A0")
        compare(rows[1][8], "succeeded")
        compare(rows[2][8], "failed")
        compare(rows[2][9], "ERROR: Connection refused")
        mouseClick(findButton(dialog.contentItem, "Close"))
        tryCompare(dialog, "visible", false)
        compare(overlayShown(), true)
    }

    function test_replacingTakesASecondPress() {
        selectUnits(1)
        runUpdate()
        complete(0)
        tick()
        testfiles.makeFile("Documents/old.csv", "keep me")
        var dialog = openSave()
        item("id_report_path").text = "old.csv"
        var save = findButton(dialog.contentItem, "Save")
        mouseClick(save)
        compare(item("id_text_save_message").text, "The file exists. Press Save again to replace it.")
        compare(testfiles.readText("Documents/old.csv"), "keep me")
        mouseClick(save)
        compare(item("id_text_save_message").text, "Saved: " + testfiles.path("Documents/old.csv"))
        compare(testfiles.csvRows("Documents/old.csv").length, 2)
    }

    function test_unwritablePathLosesNothing() {
        selectUnits(1)
        runUpdate()
        complete(0)
        tick()
        testfiles.makeFile("plain-file", "")
        var dialog = openSave()
        var bad = testfiles.path("plain-file/r.csv")
        item("id_report_path").text = bad
        mouseClick(findButton(dialog.contentItem, "Save"))
        var message = item("id_text_save_message")
        verify(message.text.indexOf("Could not save the report to " + bad + ": ") === 0, message.text)
        verify(Qt.colorEqual(message.color, "#b00020"))
        compare(dialog.visible, true)
        compare(findButton(dialog.contentItem, "Cancel").m_text, "Cancel")
        // A second try elsewhere has everything (Enter in the field saves).
        item("id_report_path").text = "good.csv"
        item("id_report_path").forceActiveFocus()
        keyClick(Qt.Key_Return)
        compare(item("id_text_save_message").text, "Saved: " + testfiles.path("Documents/good.csv"))
        compare(testfiles.csvRows("Documents/good.csv")[1][3], address(0))
    }

    function test_escapeClosesDialogThenOverlay() {
        selectUnits(1)
        runUpdate()
        complete(0)
        tick()
        var dialog = openSave()
        keyClick(Qt.Key_Escape)
        tryCompare(dialog, "visible", false)
        compare(overlayShown(), true)
        keyClick(Qt.Key_Escape)
        compare(overlayShown(), false)
        compare(testfiles.history().length, 1)
    }

    function test_tabStaysInTheSaveDialog() {
        selectUnits(1)
        runUpdate()
        complete(0)
        tick()
        var dialog = openSave()
        var seen = []
        for (var i = 0; i < 4; ++i) {
            keyClick(Qt.Key_Tab)
            var focused = win.activeFocusItem
            seen.push(focused.m_text !== undefined ? focused.m_text : focused.objectName)
        }
        compare(seen, ["Cancel", "Save", "id_report_path", "Cancel"])
        // Space on Cancel closes the dialog only.
        keyClick(Qt.Key_Space)
        tryCompare(dialog, "visible", false)
        compare(overlayShown(), true)
    }
}
