.pragma library

// The core's node messages as the list reads them: JSON objects whose
// members are all text, numbers included.

// The card properties a node message may fill. Anything else in a message
// is ignored, so a message can never overwrite the list's own state.
var textKeys = ["m_modelname", "m_nickname", "m_login_passwd", "m_version", "m_build", "m_mac",
                "m_sn", "m_ipaddr", "m_uuid", "m_after_update"]
var numberKeys = ["m_state", "m_count"]

// The object of a message, or null for anything that is not a JSON object.
function parse(text) {
    var object
    try {
        object = JSON.parse(text)
    } catch (e) {
        return null
    }
    if (object === null || typeof object !== "object" || Array.isArray(object))
        return null
    return object
}

// What a card property takes for a member, or undefined for a key or value
// the card does not take.
function cardValue(key, value) {
    if (textKeys.indexOf(key) >= 0)
        return typeof value === "string" ? value : undefined
    if (numberKeys.indexOf(key) >= 0) {
        var number = parseInt(value, 10)
        return isNaN(number) ? undefined : number
    }
    return undefined
}

// Copies the members a card takes, in the message's order; with
// onlyChanged, only those whose value differs from the card's.
function copyMembers(card, object, onlyChanged) {
    for (var key in object) {
        var value = cardValue(key, object[key])
        if (value === undefined)
            continue
        if (onlyChanged && card[key] === value)
            continue
        card[key] = value
    }
}
