import QtQuick 2.11
import QtTest 1.2

// An update run: the dialogs, five units at a time, one more per tick, and
// an overlay that says "Finished." only when nothing is being written.
UiTestCase {
    id: testCase
    name: "Scheduler"

    function selectUnits(n) {
        addUnits(n)
        selectAll()
    }

    function complete(i) {
        udpmachine.progress("Firmware update completed.", address(i))
    }

    function test_selectionLimit_data() {
        return [
            { tag: "48 selected", units: 48, passwd: true },
            { tag: "49 selected", units: 49, passwd: false },
        ]
    }

    function test_selectionLimit(data) {
        selectUnits(data.units)
        view.updateSelectedUnits()
        compare(view.m_nofUpdateUnits, data.units)
        var passwd = item("id_popup_passwd")
        var warning = item("id_popup_warning")
        tryCompare(data.passwd ? passwd : warning, "opened", true)
        compare(data.passwd ? warning.visible : passwd.visible, false)
        if (!data.passwd) {
            mouseClick(findButton(warning.contentItem, "Close"))
            tryCompare(warning, "visible", false)
            tick()
            compare(udpmachine.callCount, 0)
            compare(overlayShown(), false)
            compare(card(0).m_msg, "")
        }
    }

    function test_warningText() {
        selectUnits(49)
        view.updateSelectedUnits()
        var warning = item("id_popup_warning")
        tryCompare(warning, "opened", true)
        // Escape and a press outside leave it open: only Close closes it.
        keyClick(Qt.Key_Escape)
        mouseClick(win.contentItem, 5, 5)
        compare(warning.visible, true)
        compare(warning.width, 300)
        compare(warning.x, 90)
    }

    function test_passwordDialogCancelStartsNothing_data() {
        return [
            { tag: "Cancel", how: "cancel" },
            { tag: "Escape", how: "escape" },
            { tag: "press outside", how: "outside" },
            { tag: "Enter in the field", how: "enter" },
        ]
    }

    function test_passwordDialogCancelStartsNothing(data) {
        selectUnits(2)
        view.updateSelectedUnits()
        var dialog = item("id_popup_passwd")
        tryCompare(dialog, "opened", true)
        compare(dialog.x, 90)
        compare(dialog.y, 250)
        var field = item("id_passwd")
        tryCompare(field, "activeFocus", true)
        keyClick(Qt.Key_A)
        compare(field.text, "a")
        if (data.how === "cancel")
            mouseClick(findButton(dialog.contentItem, "Cancel"))
        else if (data.how === "escape")
            keyClick(Qt.Key_Escape)
        else if (data.how === "outside")
            mouseClick(win.contentItem, 10, 10)
        else
            keyClick(Qt.Key_Return)
        if (data.how === "enter") {
            compare(dialog.visible, true)
        } else {
            tryCompare(dialog, "visible", false)
            // the field keeps its text for the next opening
            view.updateSelectedUnits()
            tryCompare(dialog, "opened", true)
            compare(field.text, "a")
        }
        tick()
        compare(udpmachine.callCount, 0)
        compare(overlayShown(), false)
        compare(card(0).m_f_selected, true)
    }

    function test_noUnitSelectedFinishesAtOnce() {
        addUnits(3)
        runUpdate()
        compare(overlayShown(), true)
        compare(statusLine(), "Finished.")
        compare(okLine(), "0 suceeded")
        compare(ngLine(), "0 failed")
        compare(closeShown(), true)
        var fill = item("id_bar_fill")
        compare(fill.visible, false)
        compare(fill.width, 0)
        compare(udpmachine.callCount, 0)
        for (var i = 0; i < 3; ++i)
            compare(card(i).m_f_target_this_time, false)
    }

    function test_sevenSelectedFiveAtATime() {
        selectUnits(7)
        runUpdate("s3cret")
        // the first five in row order, at once
        compare(udpmachine.calledAddresses(), [address(0), address(1), address(2), address(3), address(4)])
        for (var i = 0; i < 5; ++i) {
            compare(card(i).m_msg, "connecting...")
            compare(card(i).m_f_selected, false)
        }
        for (i = 5; i < 7; ++i) {
            compare(card(i).m_msg, "Waiting")
            compare(cardItem(i, "id_dash").visible, true)
            compare(card(i).m_f_selected, true)
        }
        compare(view.m_nofUpdateUnits, 7)
        compare(view.m_nofWorkingUnits, 5)
        compare(view.m_nofWaitingUnits, 2)
        compare(statusLine(), "Updating")
        compare(closeShown(), false)

        // five still busy: nobody else starts
        udpmachine.progress("Sending... 0%", address(0))
        udpmachine.progress("Writing", address(1))
        tick()
        compare(udpmachine.callCount, 5)

        // two slots free up at once, but only one unit starts per tick
        complete(0)
        complete(1)
        tick()
        compare(udpmachine.calledAddresses().slice(5), [address(5)])
        compare(card(6).m_msg, "Waiting")
        tick()
        compare(udpmachine.calledAddresses().slice(5), [address(5), address(6)])
        // every unit of the run gets the run's password, and the port as text
        for (i = 0; i < 7; ++i) {
            compare(udpmachine.call(i).password, "s3cret")
            compare(udpmachine.call(i).port, "54726")
        }
        tick()
        compare(udpmachine.callCount, 7)
        compare(view.m_nofWaitingUnits, 0)
        compare(view.m_nofWorkingUnits, 5)

        for (i = 2; i < 7; ++i)
            complete(i)
        compare(statusLine(), "Updating")
        tick()
        compare(statusLine(), "Finished.")
        compare(okLine(), "7 suceeded")
        compare(ngLine(), "0 failed")
        compare(item("id_bar_fill").width, 268)
    }

    function test_mixedOutcome() {
        selectUnits(3)
        runUpdate()
        complete(0)
        udpmachine.progress("ERROR: Detected NG response from the unit.", address(1))
        udpmachine.removeUnit(address(2))
        compare(statusLine(), "Updating")
        tick()
        compare(statusLine(), "Finished.")
        compare(closeShown(), true)
        compare(okLine(), "1 suceeded")
        compare(ngLine(), "1 failed and 1lost")
        compare(item("id_bar_fill").width, 178)
        compare(item("id_bar_fill").x, 1)
        compare(item("id_bar_fill").y, 1)
        // hidden by Close; the counts stay until the next run
        mouseClick(item("id_button_close"))
        compare(overlayShown(), false)
        compare(view.m_nofOKUnits, 1)
        compare(view.m_nofLostUnits, 1)
    }

    function test_unitStillStartingOrRetryingHoldsTheRun_data() {
        return [
            { tag: "connecting", text: "connecting..." },
            { tag: "starting", text: "Starting..." },
            { tag: "sending", text: "Sending... 37%" },
            { tag: "retry", text: "Retry: 3 40%" },
            { tag: "writing", text: "Writing" },
        ]
    }

    function test_unitStillStartingOrRetryingHoldsTheRun(data) {
        selectUnits(7)
        runUpdate()
        udpmachine.progress(data.text, address(0))
        for (var i = 1; i < 5; ++i)
            complete(i)
        tick()
        tick()
        tick()
        compare(udpmachine.callCount, 7)
        complete(5)
        complete(6)
        tick()
        tick()
        compare(view.m_nofWorkingUnits, 1)
        compare(statusLine(), "Updating.")
        compare(closeShown(), false)
        compare(view.m_nofLostUnits, 0)
        compare(ngLine(), "0 failed")
        complete(0)
        tick()
        compare(statusLine(), "Finished.")
        compare(ngLine(), "0 failed")
        compare(okLine(), "7 suceeded")
    }

    // A unit in its starting or retry phase holds a slot: a sixth is not
    // started next to five such units.
    function test_startingAndRetryHoldSlots() {
        selectUnits(6)
        runUpdate()
        udpmachine.progress("Starting...", address(0))
        udpmachine.progress("Starting...", address(1))
        udpmachine.progress("Retry: 1 10%", address(2))
        udpmachine.progress("Retry: 2 55%", address(3))
        udpmachine.progress("Sending... 3%", address(4))
        tick()
        compare(udpmachine.callCount, 5)
        compare(card(5).m_msg, "Waiting")
    }

    function test_finishedGoesBackToUpdating() {
        selectUnits(2)
        runUpdate()
        complete(0)
        udpmachine.progress("ERROR: Connection refused", address(1))
        tick()
        compare(statusLine(), "Finished.")
        compare(ngLine(), "1 failed")
        // the failed unit is picked up again by the core (another run's
        // start, say) and reports working texts
        udpmachine.progress("Sending... 4%", address(1))
        tick()
        compare(statusLine(), "Updating.." )
        compare(closeShown(), false)
        udpmachine.progress("Firmware update completed.", address(1))
        tick()
        compare(statusLine(), "Finished.")
        compare(okLine(), "2 suceeded")
        compare(ngLine(), "1 failed")
    }

    function test_twoErrorsFromOneUnitCountTwice() {
        selectUnits(1)
        runUpdate()
        udpmachine.progress("ERROR: Detected NG response from the unit.", address(0))
        udpmachine.progress("ERROR: The remote host closed the connection", address(0))
        tick()
        compare(view.m_nofNGUnits, 2)
        compare(ngLine(), "2 failed")
        compare(statusLine(), "Finished.")
        // one unit, two reports: nobody is lost and the bar ends at its end
        compare(view.m_nofLostUnits, 0)
        compare(item("id_bar_fill").width, 268)
    }

    function test_unitTheCoreRefusesIsLost() {
        selectUnits(3)
        udpmachine.refuse(address(1))
        runUpdate()
        compare(udpmachine.callCount, 3)
        compare(card(1).m_msg, "")
        complete(0)
        complete(2)
        tick()
        compare(statusLine(), "Finished.")
        compare(okLine(), "2 suceeded")
        compare(ngLine(), "0 failed and 1lost")
        compare(item("id_bar_fill").width, 178)
    }

    function test_newRunResetsCounts() {
        selectUnits(2)
        runUpdate()
        complete(0)
        udpmachine.progress("ERROR: Connection refused", address(1))
        tick()
        compare(okLine(), "1 suceeded")
        mouseClick(item("id_button_close"))
        // the failed unit again, alone
        card(1).m_f_selected = true
        runUpdate()
        compare(okLine(), "0 suceeded")
        compare(ngLine(), "0 failed")
        compare(view.m_nofUpdateUnits, 1)
        compare(card(0).m_f_target_this_time, false)
        compare(card(1).m_f_target_this_time, true)
        compare(udpmachine.calledAddresses(), [address(0), address(1), address(1)])
    }

    function test_statusDots() {
        selectUnits(1)
        runUpdate()
        var seen = []
        for (var i = 0; i < 4; ++i) {
            tick()
            seen.push(statusLine())
        }
        compare(seen, ["Updating.", "Updating..", "Updating...", "Updating"])
    }

    function test_overlayTakesClicksAndPassesWheel() {
        addUnits(10)
        card(0).m_f_selected = true
        runUpdate()
        compare(overlayShown(), true)
        // the card's box lies under the overlay: a click does not reach it
        var check = cardItem(1, "id_check")
        mouseClick(check)
        compare(card(1).m_f_selected, false)
        var flick = findChild(view, "id_flickable")
        tryCompare(flick, "contentHeight", 1500)
        compare(flick.contentY, 0)
        mouseWheel(item("id_popup_progress"), 240, 400, 0, -120)
        tryVerify(function() { return flick.contentY > 0 })
        var down = flick.contentY
        mouseWheel(item("id_popup_progress"), 240, 400, 0, 120)
        tryVerify(function() { return flick.contentY < down })
    }

    function test_progressBoxLayout() {
        addUnits(1)
        runUpdate()
        var box = item("id_progress_box")
        compare(box.width, 300)
        compare(box.height, 200)
        compare(box.x, 90)
        compare(box.y, 250)
        var overlay = item("id_popup_progress")
        compare(overlay.width, 480)
        compare(overlay.height, 700)
        compare(overlay.color, Qt.rgba(0, 0, 0, 0x88 / 255))
    }

    // The one case that waits for the real timer: a waiting unit starts
    // within a second or so of a slot coming free.
    function test_realTimerStartsWaitingUnit() {
        timer.running = true
        selectUnits(6)
        runUpdate()
        compare(udpmachine.callCount, 5)
        complete(0)
        tryCompare(udpmachine, "callCount", 6, 3000)
        compare(card(5).m_msg, "connecting...")
        var dash = view.m_dash
        tryVerify(function() { return view.m_dash !== dash }, 3000)
    }
}
