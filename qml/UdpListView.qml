import QtQuick 2.11
import QtQuick.Controls 2.4
import QtQuick.Layouts 1.0
import "NodeMessages.js" as NodeMessages

// The list of discovered units and the update scheduler.
//
// One card per unit the core reports, in order of arrival. An update run
// starts up to five selected units at once and then, once a second, one more
// waiting unit while fewer than five are busy; the progress overlay counts
// what succeeded, failed or was lost on the way.
//
// All four core signals arrive synchronously, some of them while the core
// holds its table lock, so their handlers never call back into udpmachine.
// Only update_firmware does, from start_update(), from the tick and from
// the password asked again (resumeWithPassword()).
//
// Each unit's end of run (completed, failed, or lost) goes to the run
// recorder ("runrecorder", when the program publishes one) the moment it is
// known; when the run is over, "Save report…" writes what the recorder has.
Item {
    id: id_udplistview

    Accessible.role: Accessible.List
    Accessible.name: "Units"

    property int m_nofUpdateUnits: 0
    property int m_nofWorkingUnits: 0
    property int m_nofWaitingUnits: 0
    property int m_nofOKUnits: 0
    property int m_nofNGUnits: 0
    property int m_nofEndOfWorkUnits: 0
    property int m_nofLostUnits: 0
    property string m_passwd: ""
    readonly property int m_max_units_at_the_same_time: 5
    property string m_dash: ""
    // The room a card keeps for the dots after its progress text: measured
    // once here rather than on every card.
    readonly property real m_dashWidth: id_dash_metrics.advanceWidth

    // The run is over when no target unit works or waits any more. The
    // overlay's Close button and its "Finished." follow this.
    // (Nor while the run waits for a new password.)
    readonly property bool m_f_run_over: m_nofWorkingUnits === 0 && m_nofWaitingUnits === 0
                                         && !m_f_password_paused

    // A mistyped password costs one try: until a unit of the run has taken
    // the password, its first rejection holds the start of further units
    // and asks again. Units that rejected it then are neither failed nor
    // done: the new password goes to them too.
    readonly property string m_rejectedText: "ERROR: The unit rejected the password."
    property bool m_f_password_accepted: false
    property bool m_f_password_paused: false
    // Which password of the run a unit was started with (0 the first, then
    // one more at each "Update" in the dialog asked again), and whether the
    // question was answered with "Cancel".
    property int m_passwordTry: 0
    property bool m_f_password_cancelled: false
    property var m_rejected: []
    // Units a cancelled retry left unstarted.
    property int m_nofNotStartedUnits: 0

    // What the overlay names once the run is over: each unit of the run
    // that failed or was lost ({ "name", "address", "reason" }), those
    // that left the list during the run among them.
    property var m_failures: []
    property var m_leftDuringRun: []
    // Seconds since the run started (the timer ticks once a second).
    property int m_runSeconds: 0
    property int m_nofRetryable: 0

    readonly property int m_max_selected_units: 48
    // Selected units that are not of the embedded image's model, counted
    // when "Update selected units" is pressed.
    property int m_nofOtherModelUnits: 0
    readonly property int m_update_port: 54726

    // A dialog or the progress overlay is up: what lies beneath takes no
    // Tab stop, as it takes no click.
    readonly property bool m_f_modal: id_popup_progress.visible || id_popup_passwd.visible
                                      || id_popup_warning.visible || id_popup_save.visible
                                      || id_popup_plan.visible || id_popup_address.visible

    // The recorder of update runs, if the program publishes one.
    readonly property var m_recorder: typeof runrecorder !== "undefined" ? runrecorder : null
    // Runs are counted so that a card knows which run it was selected for;
    // a run is open from its start until "Finished." first shows.
    property int m_runNumber: 0
    property bool m_f_run_open: false

    // With no card, the list says that it is searching, and after this long
    // without a unit why none may appear.
    property int m_hintDelayMs: 10000
    property bool m_f_hint_shown: false
    // (The table goes before the window at the end: no number then.)
    readonly property int m_nofSearchInterfaces: udpmachine
                                                 && typeof udpmachine.searchInterfaceCount === "number"
                                                 ? udpmachine.searchInterfaceCount : 0

    // How long the mouse rests on a cut-short text before it is shown whole.
    property int m_tipDelayMs: 500

    function cardAt(row) {
        var loader = menuRepeater.itemAt(row)
        return loader ? loader.item : null
    }

    function versionOf(card) {
        return card.m_build !== "" ? card.m_version + " " + card.m_build : card.m_version
    }

    // One unit's run has ended. Only units of the open run are recorded, and
    // each once: the recorder keeps the first end it hears of.
    // A unit that completed restarts: its history line waits until it is
    // back and its version known (see slot_updateNode).
    function recordEnd(card, result) {
        if (!m_recorder || !m_f_run_open || card.m_runNumber !== m_runNumber)
            return
        m_recorder.unitEnded({ "address": card.m_ipaddr, "model": card.m_modelname,
                               "nickname": card.m_nickname, "versionBefore": versionOf(card),
                               "versionAfter": "", "result": result, "lastText": card.m_msg,
                               "awaitProof": result === "succeeded" })
    }

    function startUnit(card) {
        if (m_recorder && !card.m_f_now_updating)
            m_recorder.unitStarted(card.m_ipaddr)
        card.m_passwordTry = m_passwordTry
        card.update_firmware(m_passwd)
    }

    function firstCardWithAddress(ipaddr) {
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card && card.m_ipaddr === ipaddr)
                return i
        }
        return -1
    }


    function slot_addNode(arg_str_add) {
        console.log(arg_str_add)
        var object = NodeMessages.parse(arg_str_add)
        if (object === null) {
            console.log("add message is not a JSON object, no card created")
            return
        }
        id_listmodel.append({ "pageSource": pageComponent })
        // Only the card just appended can still be new: every earlier one
        // was filled by the add that created it.
        var card = cardAt(menuRepeater.count - 1)
        if (card && card.m_f_new) {
            card.m_f_new = false
            NodeMessages.copyMembers(card, object, false)
        }
    }

    function slot_updateNode(arg_str_update) {
        var object = NodeMessages.parse(arg_str_update)
        if (object === null)
            return
        var row = firstCardWithAddress(object.m_ipaddr)
        if (row < 0)
            return
        var card = cardAt(row)
        NodeMessages.copyMembers(card, object, true)
        // Back after its update, with what it runs now (the version comes
        // before this message): the proof for its history line.
        if (object.m_after_update === "back" && m_recorder)
            m_recorder.unitBack(card.m_ipaddr, versionOf(card), !card.m_f_write_not_taken)
    }

    function slot_removeNode(arg_str_remove) {
        console.log(arg_str_remove)
        var object = NodeMessages.parse(arg_str_remove)
        if (object === null)
            return
        var row = firstCardWithAddress(object.m_ipaddr)
        if (row < 0)
            return
        // A unit that leaves during its run will not be heard of again.
        var card = cardAt(row)
        if (m_f_run_open && card.m_runNumber === m_runNumber && !hasEndedThisRun(card)) {
            var left = m_leftDuringRun.slice()
            left.push({ "name": card.m_shownName, "address": card.m_ipaddr,
                        "reason": "lost: it stopped answering" })
            m_leftDuringRun = left
        }
        recordEnd(card, "lost")
        // The cards below move up under the mouse: no tip stays behind.
        hideTip()
        id_listmodel.remove(row)
    }

    function slot_progress(arg_progress, arg_ipaddr) {
        var row = firstCardWithAddress(arg_ipaddr)
        if (row < 0)
            return
        var card = cardAt(row)
        card.m_msg = arg_progress
        var ofThisRun = m_f_run_open && card.m_runNumber === m_runNumber
        if (ofThisRun && isPastLoginText(arg_progress))
            m_f_password_accepted = true
        if (ofThisRun && arg_progress === m_rejectedText && !m_f_password_accepted
                && !m_f_password_cancelled) {
            // Started with a password already replaced: the new one goes to
            // it at a tick, nothing to ask.
            if (card.m_passwordTry < m_passwordTry && !m_f_password_paused)
                card.m_msg = "Waiting"
            else
                holdForPassword(card)
            return
        }
        if (arg_progress === "Firmware update completed.") {
            m_nofOKUnits += 1
            m_nofEndOfWorkUnits = m_nofOKUnits + m_nofNGUnits
            recordEnd(card, "succeeded")
        } else if (arg_progress.indexOf("ERROR") === 0) {
            m_nofNGUnits += 1
            m_nofEndOfWorkUnits = m_nofOKUnits + m_nofNGUnits
            recordEnd(card, "failed")
        }
    }

    // Texts a unit sends only once it has taken the password.
    function isPastLoginText(text) {
        return text === "Starting..." || text.indexOf("Send") === 0 || text.indexOf("Writ") === 0
                || text.indexOf("Retry: ") === 0 || text === "Firmware update completed."
    }

    // Called inside the core's report: it opens the dialog and starts
    // nothing (the units start again from "Update", or from the tick).
    function holdForPassword(card) {
        var rejected = m_rejected.slice()
        if (rejected.indexOf(card) < 0)
            rejected.push(card)
        m_rejected = rejected
        if (!m_f_password_paused) {
            m_f_password_paused = true
            id_popup_passwd.open()
        }
    }

    // The units a new password goes to: those that rejected the last one
    // and those still waiting.
    function unitsForNewPassword() {
        var n = 0
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card && card.m_f_target_this_time
                    && (card.m_msg === "Waiting" || m_rejected.indexOf(card) >= 0))
                ++n
        }
        return n
    }

    // "Update" in the dialog asked again: the run goes on with the new
    // password, first with as many units at once as at its start.
    function resumeWithPassword() {
        m_passwd = id_popup_passwd.m_password
        m_passwordTry += 1
        for (var i = 0; i < m_rejected.length; ++i) {
            if (m_rejected[i].m_msg === m_rejectedText)
                m_rejected[i].m_msg = "Waiting"
        }
        m_rejected = []
        m_f_password_paused = false
        var working = 0
        for (var j = 0; j < menuRepeater.count; ++j) {
            var card = cardAt(j)
            if (card && card.m_f_target_this_time && isWorkingText(card.m_msg))
                ++working
        }
        for (var k = 0; k < menuRepeater.count && working < m_max_units_at_the_same_time; ++k) {
            var waiting = cardAt(k)
            if (waiting && waiting.m_f_target_this_time && waiting.m_msg === "Waiting") {
                startUnit(waiting)
                ++working
            }
        }
        updating_tick()
        id_popup_progress.forceActiveFocus()
    }

    // "Cancel" instead: the run ends. Units that rejected the password
    // failed; the waiting ones were never started.
    function cancelRetry() {
        m_f_password_cancelled = true
        var rejected = m_rejected
        m_rejected = []
        for (var i = 0; i < rejected.length; ++i) {
            m_nofNGUnits += 1
            recordEnd(rejected[i], "failed")
        }
        m_nofEndOfWorkUnits = m_nofOKUnits + m_nofNGUnits
        for (var j = 0; j < menuRepeater.count; ++j) {
            var card = cardAt(j)
            if (card && card.m_f_target_this_time && card.m_msg === "Waiting") {
                card.m_msg = ""
                m_nofNotStartedUnits += 1
                recordEnd(card, "not started")
            }
        }
        m_f_password_paused = false
        updating_tick()
        id_popup_progress.forceActiveFocus()
    }

    // A unit holds one of the five slots from the moment the core accepts it
    // until its run ends: connecting, starting, sending (retries included)
    // and writing.
    function isWorkingText(text) {
        return text.indexOf("Send") === 0
                || text.indexOf("Writ") === 0
                || text.indexOf("connecting") === 0
                || text === "Starting..."
                || text.indexOf("Retry: ") === 0
    }

    function selectAllUnits() {
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card && !card.m_f_now_updating)
                card.m_f_selected = true
        }
    }

    // Whether "Update older only" writes the unit (the core's rule).
    function isOlderForPlan(card) {
        return udpmachine.planWrites(card.m_modelname, card.m_version, card.m_build, true)
    }

    function updateSelectedUnits() {
        var selected = 0
        var older = 0
        var counts = { "current": 0, "newer": 0, "other model": 0, "": 0 }
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (!card || !card.m_f_selected)
                continue
            ++selected
            if (isOlderForPlan(card))
                ++older
            else if (counts[card.m_standing] !== undefined)
                ++counts[card.m_standing]
            else
                ++counts[""]
        }
        m_nofUpdateUnits = selected
        m_nofOtherModelUnits = counts["other model"]
        id_popup_plan.m_nofSelected = selected
        id_popup_plan.m_nofOlder = older
        id_popup_plan.m_nofCurrent = counts["current"]
        id_popup_plan.m_nofNewer = counts["newer"]
        id_popup_plan.m_nofOtherModel = counts["other model"]
        id_popup_plan.m_nofUnknown = counts[""]
        if (selected > m_max_selected_units)
            id_popup_warning.open()
        else if (older < selected)
            id_popup_plan.open()
        else
            id_popup_passwd.open()
    }

    // "Update older only": the selected units it leaves out are unticked,
    // so that the cards show what the run takes.
    function keepOlderOnly() {
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card && card.m_f_selected && !isOlderForPlan(card))
                card.m_f_selected = false
        }
        id_popup_passwd.open()
    }

    function updating_tick() {
        var working = 0
        var waiting = 0
        var firstWaiting = null
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (!card || !card.m_f_target_this_time)
                continue
            if (card.m_msg === "Waiting") {
                ++waiting
                if (firstWaiting === null)
                    firstWaiting = card
            } else if (isWorkingText(card.m_msg)) {
                ++working
            }
        }
        if (working < m_max_units_at_the_same_time && firstWaiting !== null && !m_f_password_paused)
            startUnit(firstWaiting)
        m_nofWorkingUnits = working
        m_nofWaitingUnits = waiting
    }

    function second_tick() {
        id_timer.m_count += 1
        switch (id_timer.m_count % 4) {
        case 1: m_dash = "."; break
        case 2: m_dash = ".."; break
        case 3: m_dash = "..."; break
        default: m_dash = ""; break
        }
        if (m_f_run_open && !m_f_run_over)
            m_runSeconds += 1
        updating_tick()
    }

    function start_update() {
        m_nofUpdateUnits = 0
        m_nofOKUnits = 0
        m_nofNGUnits = 0
        m_nofEndOfWorkUnits = 0
        m_nofLostUnits = 0
        m_nofNotStartedUnits = 0
        m_failures = []
        m_leftDuringRun = []
        m_runSeconds = 0
        m_f_password_accepted = false
        m_f_password_paused = false
        m_passwordTry = 0
        m_f_password_cancelled = false
        m_rejected = []
        m_passwd = id_popup_passwd.m_password
        m_runNumber += 1
        m_f_run_open = true
        if (m_recorder)
            m_recorder.beginRun()

        var started = 0
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (!card)
                continue
            if (card.m_f_selected) {
                m_nofUpdateUnits += 1
                card.m_runNumber = m_runNumber
                if (started < m_max_units_at_the_same_time) {
                    ++started
                    startUnit(card)
                } else {
                    card.m_msg = "Waiting"
                }
                card.m_f_target_this_time = true
            } else {
                card.m_f_target_this_time = false
            }
        }
        updating_tick()
        showOverlay()
    }

    function showOverlay() {
        id_popup_progress.visible = true
        // Keys go to the overlay now, not to the button that started the run.
        id_popup_progress.forceActiveFocus()
    }

    function closeOverlay() {
        id_popup_progress.visible = false
        id_udplistview.forceActiveFocus()
    }

    // Whether the unit's card shows the end of its run: completed or failed.
    function hasEndedThisRun(card) {
        return card.m_msg === "Firmware update completed." || card.m_msg.indexOf("ERROR") === 0
    }

    // The units of the run that did not succeed, in row order, then those
    // that left the list.
    function collectFailures() {
        var failures = []
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (!card || card.m_runNumber !== m_runNumber || !card.m_f_target_this_time)
                continue
            var msg = card.m_msg
            if (msg.indexOf("Firmware update completed.") === 0)
                continue
            var reason = msg.indexOf("ERROR: ") === 0 ? msg.substring(7)
                       : msg.indexOf("ERROR") === 0 ? msg
                       : msg === "" ? "not started"
                       : "lost: last said \"" + msg + "\""
            failures.push({ "name": card.m_shownName, "address": card.m_ipaddr, "reason": reason })
        }
        return failures.concat(m_leftDuringRun)
    }

    // Cards of the last run that "Retry failed" ticks and starts again.
    function retryableCards() {
        var cards = []
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card && card.m_runNumber === m_runNumber && card.m_f_target_this_time
                    && !card.m_f_now_updating)
                cards.push(card)
        }
        return cards
    }

    // "Retry failed (n)": those units only, with the run's password.
    function retryFailed() {
        var cards = retryableCards()
        for (var i = 0; i < menuRepeater.count; ++i) {
            var card = cardAt(i)
            if (card)
                card.m_f_selected = cards.indexOf(card) >= 0
        }
        start_update()
    }

    // "4:10", "1:02:03".
    function durationText(seconds) {
        var h = Math.floor(seconds / 3600)
        var m = Math.floor(seconds / 60) % 60
        var s = seconds % 60
        var ms = (h > 0 && m < 10 ? "0" : "") + m + ":" + (s < 10 ? "0" : "") + s
        return h > 0 ? h + ":" + ms : ms
    }

    // From the units that have ended: the time the run took per ended unit,
    // five at a time included, for each unit still working or waiting.
    function leftText() {
        var ended = m_nofOKUnits + m_nofNGUnits
        var remaining = m_nofWorkingUnits + m_nofWaitingUnits
        if (ended === 0 || remaining === 0 || m_runSeconds === 0)
            return ""
        var minutes = Math.max(1, Math.round(remaining * m_runSeconds / ended / 60))
        return "about " + minutes + " min left"
    }

    function countLostUnits() {
        // A unit can report more than one error in a run; it is still only
        // one unit, and never fewer than none are lost.
        m_nofLostUnits = Math.max(0, m_nofUpdateUnits - m_nofOKUnits - m_nofNGUnits
                                  - m_nofNotStartedUnits)
        // The run is over: a unit of it that neither completed nor failed
        // (never started, or gone) is recorded as lost.
        if (m_f_run_open && m_recorder) {
            for (var i = 0; i < menuRepeater.count; ++i) {
                var card = cardAt(i)
                if (card && card.m_runNumber === m_runNumber && !m_recorder.hasEnded(card.m_ipaddr))
                    recordEnd(card, "lost")
            }
        }
        m_failures = collectFailures()
        m_nofRetryable = retryableCards().length
        m_f_run_open = false
    }

    // The tip that shows a cut-short card text whole (TextTip.qml).
    function showTip(target, text) {
        id_tip.show(target, text)
    }

    function hideTip() {
        id_tip.hide()
    }

    Timer {
        id: id_timer
        objectName: "id_timer"
        property int m_count: 0
        interval: 1000
        repeat: true
        running: true
        onTriggered: second_tick()
    }

    Connections {
        target: udpmachine
        function onToUiAddNode(arg_str_add) { slot_addNode(arg_str_add) }
        function onToUiUpdateNode(arg_str_update) { slot_updateNode(arg_str_update) }
        function onToUiRemoveNode(arg_str_remove) { slot_removeNode(arg_str_remove) }
        function onToui_fwup_progress(arg_progress, arg_ipaddr) { slot_progress(arg_progress, arg_ipaddr) }
    }

    ListModel {
        id: id_listmodel
    }

    Component {
        id: pageComponent
        UdpDevice {}
    }

    Flickable {
        id: id_flickable
        objectName: "id_flickable"
        anchors.fill: parent
        clip: true
        flickableDirection: Flickable.VerticalFlick
        contentWidth: width
        contentHeight: column_kun.height

        Column {
            id: column_kun
            spacing: 0

            Repeater {
                id: menuRepeater
                objectName: "menuRepeater"
                model: id_listmodel

                Loader {
                    sourceComponent: pageSource
                    asynchronous: false
                    onStatusChanged: console.log("onStatusChanged" + status)
                }

                onItemAdded: {
                    console.log("count:" + count + " index:" + index)
                    item.item.m_itemNumber = index
                    // Appends only move the new card; later rows follow an
                    // insertion, earlier ones never change.
                    for (var i = index; i < count; ++i) {
                        var card = cardAt(i)
                        if (card)
                            card.m_indexNumber = i
                    }
                }
                onItemRemoved: {
                    console.log("count:" + count + " index:" + index
                                + " item.m_itemNumber:" + (item.item ? item.item.m_itemNumber : ""))
                    for (var i = index; i < count; ++i) {
                        var card = cardAt(i)
                        if (card)
                            card.m_indexNumber = i
                    }
                }
            }
        }

        // Finds the cut-short card text under the mouse and has the tip show
        // it whole. One for the list, not one per card: a hover area costs
        // every card memory. It takes no buttons: presses and the wheel go
        // on to the cards and the list.
        MouseArea {
            id: id_hover
            objectName: "id_hover"
            width: column_kun.width
            height: column_kun.height
            acceptedButtons: Qt.NoButton
            hoverEnabled: true
            // Entering is no move: both look at where the mouse is.
            onPositionChanged: showCutValue()
            onContainsMouseChanged: showCutValue()

            function showCutValue() {
                var loader = containsMouse ? column_kun.childAt(mouseX, mouseY) : null
                var card = loader ? loader.item : null
                var p = card ? mapToItem(card, mouseX, mouseY) : null
                var value = card ? card.cutValueAt(p.x, p.y) : null
                if (value)
                    showTip(value, value.text)
                else
                    hideTip()
            }
        }

        ScrollBar.vertical: ScrollBar {
            id: id_scrollbar
            objectName: "id_scrollbar"
            parent: id_flickable
            anchors.top: id_flickable.top
            anchors.bottom: id_flickable.bottom
            anchors.right: id_flickable.right
            contentItem: Rectangle {
                implicitWidth: 12
                radius: width / 2
                color: "#B3d4d4d8"
                border.width: 1
                border.color: "#B3464646"
                opacity: id_scrollbar.pressed ? 0.9 : 0.7
            }
        }
    }

    // The dimming behind the two dialogs. Qt 5's popups would draw it
    // themselves, but they make a new QML context for it at every opening and
    // keep each one until the popup goes: one more object per update run for
    // as long as the program runs. The dialogs stay modal (a click outside
    // them still reaches nothing beneath); only the dimming is drawn here, in
    // the style's colour and strength.
    Rectangle {
        id: id_dialog_dimmer
        objectName: "id_dialog_dimmer"
        parent: Overlay.overlay
        z: -1
        x: 0
        y: 0
        width: base_window.width
        height: base_window.height
        color: Qt.rgba(id_popup_passwd.palette.shadow.r, id_popup_passwd.palette.shadow.g,
                       id_popup_passwd.palette.shadow.b, 0.5)
        visible: id_popup_passwd.visible || id_popup_warning.visible
                 || id_popup_plan.visible || id_popup_address.visible
    }

    PasswordDialog {
        id: id_popup_passwd
        objectName: "id_popup_passwd"
        m_retryText: m_f_password_paused
                     ? "The units rejected the password. " + unitsForNewPassword() + " waiting."
                     : ""
        onSig_update: m_f_password_paused ? resumeWithPassword() : start_update()
        onSig_cancel: if (m_f_password_paused) cancelRetry()
    }

    ProgressOverlay {
        id: id_popup_progress
        objectName: "id_popup_progress"
        m_f_run_over: id_udplistview.m_f_run_over
        m_dash: id_udplistview.m_dash
        m_nofUpdateUnits: id_udplistview.m_nofUpdateUnits
        m_nofOKUnits: id_udplistview.m_nofOKUnits
        m_nofNGUnits: id_udplistview.m_nofNGUnits
        m_nofEndOfWorkUnits: id_udplistview.m_nofEndOfWorkUnits
        m_nofLostUnits: id_udplistview.m_nofLostUnits
        m_f_can_save: id_udplistview.m_recorder !== null
        m_timeText: m_nofWorkingUnits + " working · " + m_nofWaitingUnits + " waiting · "
                    + durationText(m_runSeconds)
        m_leftText: leftText()
        m_failures: id_udplistview.m_failures
        m_nofRetryable: id_udplistview.m_nofRetryable
        onSig_retryFailed: retryFailed()
        onSig_close: closeOverlay()
        onSig_saveReport: openSaveDialog()
        onSig_closeShown: countLostUnits()
    }

    LimitWarning {
        id: id_popup_warning
        objectName: "id_popup_warning"
    }

    // Asked before the password when the selection holds units that are not
    // older than the embedded image.
    PlanDialog {
        id: id_popup_plan
        objectName: "id_popup_plan"
        m_imageModel: firmModel
        m_imageVersion: firmVersion
        onSig_olderOnly: keepOlderOnly()
        onSig_allSelected: id_popup_passwd.open()
    }

    function openSaveDialog() {
        id_popup_save.m_path = m_recorder.defaultReportPath()
        id_popup_save.m_replacing = ""
        id_popup_save.m_saved = ""
        id_popup_save.m_error = ""
        id_popup_save.open()
    }

    function saveReport() {
        var path = m_recorder.reportPath(id_popup_save.m_path)
        id_popup_save.m_saved = ""
        // Writing over a file takes a second press.
        if (path !== "" && path !== id_popup_save.m_replacing && m_recorder.fileExists(path)) {
            id_popup_save.m_replacing = path
            id_popup_save.m_error = ""
            return
        }
        id_popup_save.m_replacing = ""
        var error = m_recorder.saveReport(id_popup_save.m_path)
        id_popup_save.m_error = error
        id_popup_save.m_restarting = error === "" ? m_recorder.restartingCount() : 0
        if (error === "")
            id_popup_save.m_saved = path
    }

    // Where the report goes: a name made from the date and time in the
    // Documents folder.
    SaveDialog {
        id: id_popup_save
        objectName: "id_popup_save"
        onSig_save: saveReport()
        onClosed: id_popup_progress.forceActiveFocus()
    }

    Timer {
        id: id_hint_timer
        objectName: "id_hint_timer"
        interval: m_hintDelayMs
        running: menuRepeater.count === 0
        onTriggered: m_f_hint_shown = true
    }

    EmptyListHint {
        id: id_empty
        objectName: "id_empty"
        anchors.centerIn: parent
        width: parent.width - 40
        visible: menuRepeater.count === 0
        m_nofSearchInterfaces: id_udplistview.m_nofSearchInterfaces
        m_f_hint_shown: id_udplistview.m_f_hint_shown
        onSig_addByAddress: openAddressDialog()
    }

    function openAddressDialog() {
        if (!m_f_modal)
            id_popup_address.open()
    }

    // The table takes the address (or says no); the card comes with its add
    // message, inside the call.
    function addByAddress() {
        var address = id_popup_address.m_address.trim()
        var known = firstCardWithAddress(address) >= 0
        if (!udpmachine.addDirectTarget(address)) {
            id_popup_address.m_error = "Not an IPv4 address. Type it as four numbers with dots, "
                    + "such as 192.168.1.20."
            return
        }
        if (known) {
            id_popup_address.m_error = address + " is in the list already."
            return
        }
        id_popup_address.close()
    }

    AddressDialog {
        id: id_popup_address
        objectName: "id_popup_address"
        onSig_add: addByAddress()
    }

    // At any time but while a dialog or the overlay is up.
    Shortcut {
        sequence: "Ctrl+D"
        enabled: !m_f_modal
        onActivated: openAddressDialog()
    }

    // The hint goes as soon as a card comes; with the list empty again the
    // wait starts over.
    Connections {
        target: menuRepeater
        function onCountChanged() {
            if (menuRepeater.count > 0)
                m_f_hint_shown = false
        }
    }

    // The frame around the selection box that has the keyboard focus, inside
    // its card's selection strip: one for the list rather than one per card.
    Rectangle {
        objectName: "id_card_focus_frame"
        readonly property Item m_box: base_window.activeFocusItem
                                      && base_window.activeFocusItem.objectName === "id_check"
                                      ? base_window.activeFocusItem : null
        parent: m_box ? m_box : id_udplistview
        visible: m_box !== null
        x: -3
        y: -3
        width: parent.width + 6
        height: parent.height + 6
        radius: 2
        color: "transparent"
        border.color: "#1f6fd1"
        border.width: 2
    }

    // In the font of a card's dots (see m_dashWidth).
    TextMetrics {
        id: id_dash_metrics
        font.pixelSize: 16
        text: "..."
    }

    TextTip {
        id: id_tip
        objectName: "id_tip"
        m_delayMs: m_tipDelayMs
    }
}
