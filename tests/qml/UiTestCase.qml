import QtQuick 2.11
import QtTest 1.2

// Each case gets a fresh window with an empty list and a stand-in core that
// has forgotten earlier calls. The list's timer is stopped: cases step it with
// tick(), except those that let it run.
TestCase {
    id: testCase
    when: windowShown

    property var win: null
    property var view: null
    property var timer: null

    Component {
        id: windowComponent
        UnitWindow {}
    }

    function init() {
        udpmachine.reset()
        testfiles.reset()
        win = createTemporaryObject(windowComponent, testCase)
        verify(win, "window created")
        view = win.view
        timer = findChild(view, "id_timer")
        verify(timer, "timer found")
        timer.running = false
        waitForRendering(win.contentItem)
        initCase()
    }

    // What a file's cases share at their start, after the common part.
    function initCase() {
    }

    function cleanup() {
        win = null
        view = null
        timer = null
    }

    function address(i) {
        return "10.77.0." + (10 + i)
    }

    function addUnits(n) {
        for (var i = 0; i < n; ++i)
            udpmachine.addUnit(address(i), "Unit " + i)
    }

    function card(row) {
        return view.cardAt(row)
    }

    function rows() {
        return findChild(view, "menuRepeater").count
    }

    function tick() {
        timer.triggered()
    }

    function item(name) {
        var found = findChild(view, name)
        verify(found, name + " found")
        return found
    }

    function cardItem(row, name) {
        var found = findChild(card(row), name)
        verify(found, name + " found in card " + row)
        return found
    }

    function selectAll() {
        view.selectAllUnits()
    }

    // "Update selected units", then "Update" in the password dialog.
    function runUpdate(password) {
        view.updateSelectedUnits()
        var dialog = item("id_popup_passwd")
        tryCompare(dialog, "opened", true)
        item("id_passwd").text = password === undefined ? "pw" : password
        var button = findButton(dialog.contentItem, "Update")
        mouseClick(button)
        tryCompare(dialog, "visible", false)
    }

    function findButton(root, caption) {
        if (root.m_text === caption)
            return root
        for (var i = 0; i < root.children.length; ++i) {
            var found = findButton(root.children[i], caption)
            if (found)
                return found
        }
        return null
    }

    function statusLine() { return item("id_text_status").text }
    function okLine() { return item("id_text_ok").text }
    function ngLine() { return item("id_text_ng").text }
    function overlayShown() { return item("id_popup_progress").visible }
    function closeShown() { return item("id_button_close").visible }
}
