import QtQuick 2.11

// Stand-in until the device list lands: keeps the window whole.
Item {
    id: id_udplistview
    property string m_dash: ""
    function selectAllUnits() {}
    function updateSelectedUnits() {}
}
