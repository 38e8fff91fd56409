import QtQuick 2.11
import QtTest 1.2

// "Update selected units" with units that are not older than the embedded
// image (VK-3F 1.04 build 0119) asks for a plan first, and a run whose units
// reject the password asks for it again once.
UiTestCase {
    id: testCase
    name: "Plan"

    // Rows 0..n-1; the rows in `others` are ZP-9E units, the rest VK-3F 1.02.
    function addMixed(n, others) {
        for (var i = 0; i < n; ++i) {
            udpmachine.addUnit(address(i), "Unit " + i,
                               others.indexOf(i) >= 0 ? "ZP-9E" : "VK-3F", "1.02")
        }
    }

    function openPlan() {
        view.updateSelectedUnits()
        var plan = item("id_popup_plan")
        tryCompare(plan, "opened", true)
        return plan
    }

    function enterPassword(password) {
        var dialog = item("id_popup_passwd")
        tryCompare(dialog, "opened", true)
        item("id_passwd").text = password
        mouseClick(findButton(dialog.contentItem, "Update"))
        tryCompare(dialog, "visible", false)
    }

    // The rule of each kind of unit, beside an older one (row 0): whether
    // "Update older only" writes it, and how the plan counts it.
    function test_rules_data() {
        return [
            { tag: "older", model: "VK-3F", version: "1.02", olderOnly: true, rest: "" },
            { tag: "current", model: "VK-3F", version: "1.04", olderOnly: false, rest: "Not older: 1 current." },
            { tag: "current, older build", model: "VK-3F", version: "1.04", build: "(build0100)",
              olderOnly: true, rest: "" },
            { tag: "newer", model: "VK-3F", version: "1.10", olderOnly: false, rest: "Not older: 1 newer." },
            { tag: "other model", model: "ZP-9E", version: "1.02", olderOnly: false,
              rest: "Not older: 1 not VK-3F." },
            { tag: "unknown version", model: "VK-3F", version: "", olderOnly: false,
              rest: "Not older: 1 of unknown version." },
            { tag: "model unknown, older", model: "", version: "1.02", olderOnly: true, rest: "" },
        ]
    }

    function test_rules(data) {
        udpmachine.addUnit(address(0), "Older", "VK-3F", "1.02")
        udpmachine.addUnit(address(1), "Other", data.model, data.version)
        if (data.build)
            udpmachine.updateUnit(address(1), "m_build", data.build)
        selectAll()
        if (data.olderOnly) {
            // Nothing to decide: straight to the password.
            view.updateSelectedUnits()
            tryCompare(item("id_popup_passwd"), "opened", true)
            compare(item("id_popup_plan").visible, false)
            return
        }
        openPlan()
        compare(item("id_text_plan").text, "1 of the 2 selected units run a version older than 1.04.")
        compare(item("id_text_plan_rest").text, data.rest)
        // Enter takes the default, "Update older only".
        keyClick(Qt.Key_Return)
        tryCompare(item("id_popup_plan"), "visible", false)
        compare(card(1).m_f_selected, false)
        enterPassword("pw")
        compare(udpmachine.calledAddresses(), [address(0)])
        compare(view.m_nofUpdateUnits, 1)
    }

    function test_allSelectedWritesEveryKind() {
        udpmachine.addUnit(address(0), "Older", "VK-3F", "1.02")
        udpmachine.addUnit(address(1), "Current", "VK-3F", "1.04")
        udpmachine.addUnit(address(2), "Newer", "VK-3F", "1.10")
        udpmachine.addUnit(address(3), "Other", "ZP-9E", "1.02")
        udpmachine.addUnit(address(4), "Unknown", "VK-3F", "")
        selectAll()
        var plan = openPlan()
        compare(item("id_text_plan_rest").text,
                "Not older: 1 current, 1 newer, 1 not VK-3F, 1 of unknown version.")
        compare(view.m_nofOtherModelUnits, 1)
        verify(item("id_dialog_dimmer").visible)
        // Only its buttons close it.
        mouseClick(win.contentItem, 5, 5)
        compare(plan.visible, true)
        mouseClick(item("id_button_all_selected"))
        tryCompare(plan, "visible", false)
        enterPassword("pw")
        compare(udpmachine.calledAddresses(), [address(0), address(1), address(2), address(3), address(4)])
    }

    function test_nothingOlderLeavesCancelAsDefault() {
        udpmachine.addUnit(address(0), "Current", "VK-3F", "1.04")
        selectAll()
        var plan = openPlan()
        compare(item("id_text_plan").text, "0 of the 1 selected units run a version older than 1.04.")
        compare(item("id_button_older_only").enabled, false)
        keyClick(Qt.Key_Return)
        tryCompare(plan, "visible", false)
        compare(item("id_popup_passwd").visible, false)
        compare(card(0).m_f_selected, true)
    }

    function test_cancelStartsNothing() {
        addMixed(3, [1])
        selectAll()
        var plan = openPlan()
        mouseClick(findButton(plan.contentItem, "Cancel"))
        tryCompare(plan, "visible", false)
        compare(item("id_popup_passwd").visible, false)
        tick()
        compare(udpmachine.callCount, 0)
        compare(overlayShown(), false)
        // The selection stays for another try.
        for (var i = 0; i < 3; ++i)
            compare(card(i).m_f_selected, true)
        compare(item("id_dialog_dimmer").visible, false)
    }

    // Too many units: the 48-unit warning comes first and alone.
    function test_limitWarningFirst() {
        addMixed(49, [0])
        selectAll()
        view.updateSelectedUnits()
        tryCompare(item("id_popup_warning"), "opened", true)
        compare(item("id_popup_plan").visible, false)
        compare(item("id_popup_passwd").visible, false)
    }

    // "Select all" ticks units of every model, as before; a completed unit
    // only once it came back without the image's version.
    function test_selectAll() {
        addMixed(4, [1, 3])
        udpmachine.progress("Firmware update completed.", address(2))
        selectAll()
        compare(card(0).m_f_selected, true)
        compare(card(1).m_f_selected, true)
        compare(card(2).m_f_selected, false)
        compare(card(3).m_f_selected, true)
        // Back, still on 1.02: "not updated", and its box is back.
        udpmachine.updateUnit(address(2), "m_after_update", "back")
        compare(cardItem(2, "id_version_tag").text, "not updated")
        compare(cardItem(2, "id_check").visible, true)
        selectAll()
        compare(card(2).m_f_selected, true)
        view.updateSelectedUnits()
        tryCompare(item("id_popup_plan"), "opened", true)
        mouseClick(item("id_button_older_only"))
        enterPassword("pw")
        compare(udpmachine.calledAddresses(), [address(0), address(2)])
    }

    // The password asked again: what the rejections of a run's first units
    // leave, and what each answer does with it. Seven units, five started.
    function test_passwordRetry_data() {
        return [
            { tag: "one rejection, then the right one", rejected: [0], answer: "Update",
              retryText: "The units rejected the password. 3 waiting.",
              calls: [0, 1, 2, 3, 4, 0], ng: 0, notStarted: 0 },
            { tag: "all five rejected, then the right one", rejected: [0, 1, 2, 3, 4], answer: "Update",
              retryText: "The units rejected the password. 7 waiting.",
              calls: [0, 1, 2, 3, 4, 0, 1, 2, 3, 4], ng: 0, notStarted: 0 },
            { tag: "cancelled", rejected: [0, 1], answer: "Cancel",
              retryText: "The units rejected the password. 4 waiting.",
              calls: [0, 1, 2, 3, 4], ng: 2, notStarted: 2 },
            { tag: "after a unit took it", accepted: 3, rejected: [0], answer: "",
              calls: [0, 1, 2, 3, 4, 5], ng: 1, notStarted: 0 },
            { tag: "the old password rejected late", rejected: [0], answer: "Update", late: [1],
              retryText: "The units rejected the password. 3 waiting.",
              calls: [0, 1, 2, 3, 4, 0, 1], ng: 0, notStarted: 0 },
            { tag: "rejected after Cancel", rejected: [0], answer: "Cancel", late: [1],
              retryText: "The units rejected the password. 3 waiting.",
              calls: [0, 1, 2, 3, 4], ng: 2, notStarted: 2 },
        ]
    }

    function test_passwordRetry(data) {
        addUnits(7)
        selectAll()
        runUpdate("wrong")
        if (data.accepted !== undefined)
            udpmachine.progress("Starting...", address(data.accepted))
        for (var i = 0; i < data.rejected.length; ++i)
            udpmachine.progress("ERROR: The unit rejected the password.", address(data.rejected[i]))
        var dialog = item("id_popup_passwd")
        if (data.answer === "") {
            // The unit's own failure: no question, the run goes on.
            compare(dialog.visible, false)
            tick()
        } else {
            tryCompare(dialog, "opened", true)
            compare(item("id_text_retry").text, data.retryText)
            // Nothing more starts meanwhile, and the run is not over.
            tick()
            compare(udpmachine.callCount, 5)
            compare(closeShown(), false)
            item("id_passwd").text = "right"
            mouseClick(findButton(dialog.contentItem, data.answer))
            tryCompare(dialog, "visible", false)
        }
        // A unit started with the old password rejects it only now: no
        // second question.
        if (data.late) {
            for (var l = 0; l < data.late.length; ++l)
                udpmachine.progress("ERROR: The unit rejected the password.", address(data.late[l]))
            compare(dialog.visible, false)
            tick()
        }
        var calls = []
        for (var c = 0; c < data.calls.length; ++c)
            calls.push(address(data.calls[c]))
        compare(udpmachine.calledAddresses(), calls)
        for (var k = 5; k < udpmachine.callCount; ++k)
            compare(udpmachine.call(k).password, data.answer === "" ? "wrong" : "right")
        compare(view.m_nofNGUnits, data.ng)
        compare(view.m_nofNotStartedUnits, data.notStarted)
        if (data.answer === "Cancel") {
            // The other three end: nothing is left to wait for.
            for (var u = 2; u < 5; ++u)
                udpmachine.progress("Firmware update completed.", address(u))
            tick()
            compare(closeShown(), true)
            compare(card(5).m_msg, "")
            compare(ngLine(), data.ng + " failed")
            compare(view.m_nofLostUnits, 0)
        }
    }
}
