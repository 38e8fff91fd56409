import QtQuick 2.11
import QtTest 1.2

// "Update selected units" with units of another model than the embedded
// image's (VK-3F here) asks first; without such units nothing changes.
UiTestCase {
    id: testCase
    name: "ModelWarning"

    // Rows 0..n-1; the rows in `others` are ZP-9E units, the rest VK-3F.
    function addMixed(n, others) {
        for (var i = 0; i < n; ++i) {
            udpmachine.addUnit(address(i), "Unit " + i,
                               others.indexOf(i) >= 0 ? "ZP-9E" : "VK-3F", "1.02")
        }
    }

    function openWarning() {
        view.updateSelectedUnits()
        var warning = item("id_popup_model_warning")
        tryCompare(warning, "opened", true)
        return warning
    }

    function test_counts_data() {
        return [
            { tag: "one of seven", units: 7, others: [3], selected: [], text: "1 of the selected units are not VK-3F units." },
            { tag: "three of seven", units: 7, others: [0, 3, 6], selected: [],
              text: "3 of the selected units are not VK-3F units." },
            { tag: "only the selected count", units: 7, others: [1, 2, 5], selected: [0, 1, 2, 3],
              text: "2 of the selected units are not VK-3F units." },
            { tag: "all of them", units: 2, others: [0, 1], selected: [],
              text: "2 of the selected units are not VK-3F units." },
        ]
    }

    function test_counts(data) {
        addMixed(data.units, data.others)
        if (data.selected.length === 0) {
            selectAll()
        } else {
            for (var i = 0; i < data.selected.length; ++i)
                card(data.selected[i]).m_f_selected = true
        }
        var warning = openWarning()
        compare(item("id_text_model_warning").text, data.text)
        compare(item("id_popup_passwd").visible, false)
        compare(view.m_nofUpdateUnits, data.selected.length === 0 ? data.units : data.selected.length)
        // Like the 48-unit warning: only its buttons close it.
        keyClick(Qt.Key_Escape)
        mouseClick(win.contentItem, 5, 5)
        compare(warning.visible, true)
        compare(warning.width, 300)
        compare(warning.x, 90)
        verify(item("id_dialog_dimmer").visible)
    }

    function test_cancelStartsNothing() {
        addMixed(3, [1])
        selectAll()
        var warning = openWarning()
        mouseClick(findButton(warning.contentItem, "Cancel"))
        tryCompare(warning, "visible", false)
        compare(item("id_popup_passwd").visible, false)
        tick()
        compare(udpmachine.callCount, 0)
        compare(overlayShown(), false)
        // The selection stays for another try.
        for (var i = 0; i < 3; ++i)
            compare(card(i).m_f_selected, true)
        compare(item("id_dialog_dimmer").visible, false)
    }

    function test_updateAnywayGoesOnToThePassword() {
        addMixed(7, [0, 6])
        selectAll()
        var warning = openWarning()
        mouseClick(findButton(warning.contentItem, "Update anyway"))
        tryCompare(warning, "visible", false)
        var dialog = item("id_popup_passwd")
        tryCompare(dialog, "opened", true)
        item("id_passwd").text = "pw"
        mouseClick(findButton(dialog.contentItem, "Update"))
        tryCompare(dialog, "visible", false)
        // The scheduler as ever: the first five at once, other model or not.
        compare(udpmachine.calledAddresses(), [address(0), address(1), address(2), address(3), address(4)])
        compare(card(5).m_msg, "Waiting")
        compare(card(6).m_msg, "Waiting")
        compare(view.m_nofUpdateUnits, 7)
        udpmachine.progress("Sending... 10%", address(0))
        udpmachine.progress("Firmware update completed.", address(1))
        tick()
        compare(udpmachine.callCount, 6)
        compare(udpmachine.call(5).ipaddr, address(5))
    }

    function test_sameModelGoesStraightToThePassword_data() {
        return [
            { tag: "all the image's model", others: [] },
            { tag: "other model not selected", others: [2] },
            { tag: "model unknown", others: [], unknown: true },
        ]
    }

    function test_sameModelGoesStraightToThePassword(data) {
        addMixed(3, data.others)
        if (data.unknown)
            udpmachine.addUnit(address(3), "Headers only", "", "")
        for (var i = 0; i < rows(); ++i)
            card(i).m_f_selected = data.others.indexOf(i) < 0
        view.updateSelectedUnits()
        tryCompare(item("id_popup_passwd"), "opened", true)
        compare(item("id_popup_model_warning").visible, false)
        compare(view.m_nofOtherModelUnits, 0)
    }

    // Too many units: the 48-unit warning comes first and alone.
    function test_limitWarningFirst() {
        addMixed(49, [0])
        selectAll()
        view.updateSelectedUnits()
        tryCompare(item("id_popup_warning"), "opened", true)
        compare(item("id_popup_model_warning").visible, false)
        compare(item("id_popup_passwd").visible, false)
    }

    // "Select all" ticks units of every model, as before.
    function test_selectAllUnchanged() {
        addMixed(4, [1, 3])
        udpmachine.progress("Firmware update completed.", address(2))
        selectAll()
        compare(card(0).m_f_selected, true)
        compare(card(1).m_f_selected, true)
        compare(card(2).m_f_selected, false)
        compare(card(3).m_f_selected, true)
    }
}
