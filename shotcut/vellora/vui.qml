import QtQuick 2.12
import Shotcut.Controls 1.0 as Shotcut
import "params.js" as Vellora
import "keys.js" as Keys

// The mask's box on the player, turned by its angle: drag inside to move it, a
// corner to resize it about its centre, the arm's circle to turn it, a circle
// on a side to set the feather, the marker left of the centre for the opacity.
Shotcut.VuiBase {
    id: vui

    readonly property var p: Vellora.params
    readonly property var n: Vellora.names  // the MLT properties, by parameter
    property real zoom: (video.zoom > 0) ? video.zoom : 1
    property rect box: Qt.rect(0, 0, 0, 0)  // profile pixels, unturned
    property real angle: 0                  // degrees, clockwise on screen
    property real feather: 0
    property real strength: 100
    property bool ellipse: true
    property bool dragging: false
    readonly property color lineColor: Qt.rgba(1, 1, 0.1, 0.95)
    readonly property color shadowColor: Qt.rgba(0, 0, 0, 0.6)
    readonly property int handleSize: 10

    function position() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    function load() {
        if (dragging)
            return;
        var at = position();
        box = filter.getRect(n.rect, at);
        angle = filter.getDouble(n.angle, at);
        // Unset, the effect's defaults, as the filter uses them.
        feather = filter.get(n.feather) === '' ? p.feather.defaultValue : filter.getDouble(n.feather, at);
        strength = filter.get(n.opacity) === '' ? p.opacity.defaultValue : filter.getDouble(n.opacity, at);
        ellipse = filter.get(n.mask_type) !== 'rectangle';
        videoItem.enabled = filter.get('disable') !== '1';
    }

    function store(name, value) {
        Keys.setValue(filter, name, value, position());
    }

    // A point of the player's picture in profile pixels.
    function toProfile(item, x, y) {
        var q = item.mapToItem(videoItem, x, y);
        return Qt.point(q.x / videoItem.sx, q.y / videoItem.sy);
    }

    // A profile point in the box's own axes, in profile pixels: from its centre,
    // turned back by its angle where pixels are square (as shown), so a profile
    // with non-square pixels turns as the picture does.
    function toBox(q) {
        var a = angle * Math.PI / 180;
        var sx = videoItem.sx, sy = videoItem.sy;
        var dx = (q.x - (box.x + box.width / 2)) * sx, dy = (q.y - (box.y + box.height / 2)) * sy;
        return Qt.point((Math.cos(a) * dx + Math.sin(a) * dy) / sx, (-Math.sin(a) * dx + Math.cos(a) * dy) / sy);
    }

    Component.onCompleted: load()

    Flickable {
        anchors.fill: parent
        interactive: false
        clip: true
        contentWidth: video.rect.width * zoom
        contentHeight: video.rect.height * zoom
        contentX: video.offset.x
        contentY: video.offset.y

        Item {
            id: videoItem

            readonly property real sx: width / profile.width
            readonly property real sy: height / profile.height

            x: video.rect.x
            y: video.rect.y
            width: video.rect.width
            height: video.rect.height
            scale: zoom

            Item {
                id: frame

                x: box.x * videoItem.sx
                y: box.y * videoItem.sy
                width: box.width * videoItem.sx
                height: box.height * videoItem.sy
                rotation: angle

                // Yellow on a dark edge, to show on any picture.
                Rectangle {
                    anchors.fill: parent
                    anchors.margins: -1 / zoom
                    color: 'transparent'
                    border.width: 3 / zoom
                    border.color: shadowColor
                    antialiasing: true
                }
                Rectangle {
                    anchors.fill: parent
                    color: 'transparent'
                    border.width: 1 / zoom
                    border.color: lineColor
                    antialiasing: true
                }

                Canvas {
                    id: ellipseCanvas
                    anchors.fill: parent
                    visible: ellipse
                    onWidthChanged: requestPaint()
                    onHeightChanged: requestPaint()
                    onVisibleChanged: requestPaint()
                    onPaint: {
                        var ctx = getContext('2d');
                        ctx.reset();
                        ctx.strokeStyle = Qt.rgba(0.9, 0.9, 0.9, 0.9);
                        ctx.lineWidth = 1 / zoom;
                        ctx.beginPath();
                        ctx.ellipse(0, 0, width, height);
                        ctx.stroke();
                    }
                }

                // Inside the box: move it by the pointer's travel.
                MouseArea {
                    id: moveArea
                    property point start
                    property rect startBox
                    anchors.fill: parent
                    cursorShape: Qt.SizeAllCursor
                    onPressed: {
                        dragging = true;
                        start = toProfile(moveArea, mouse.x, mouse.y);
                        startBox = box;
                    }
                    onPositionChanged: {
                        var q = toProfile(moveArea, mouse.x, mouse.y);
                        box = Qt.rect(startBox.x + q.x - start.x, startBox.y + q.y - start.y, box.width, box.height);
                        store(n.rect, box);
                    }
                    onReleased: dragging = false
                }

                // Rotation arm: a fifth of the frame's height above the centre, turning with the box.
                Rectangle {
                    id: arm
                    x: frame.width / 2 - width / 2
                    y: frame.height / 2 - height
                    width: 3 / zoom
                    height: profile.height / 5 * videoItem.sy
                    color: shadowColor

                    Rectangle {
                        anchors.centerIn: parent
                        width: 1 / zoom
                        height: parent.height
                        color: lineColor
                    }
                }

                // Over each other, corners win over the arm, the arm over the feather circles.
                Rectangle {
                    id: rotationHandle
                    z: 2
                    width: handleSize * 1.4 / zoom
                    height: width
                    radius: width / 2
                    x: frame.width / 2 - width / 2
                    y: frame.height / 2 - arm.height - height / 2
                    color: shadowColor
                    border.color: lineColor
                    border.width: 2 / zoom

                    MouseArea {
                        id: rotationArea
                        anchors.fill: parent
                        anchors.margins: -4 / zoom
                        cursorShape: Qt.ClosedHandCursor
                        onPressed: dragging = true
                        onPositionChanged: {
                            // The pointer's bearing from the centre as shown, clockwise from straight up.
                            var q = toProfile(rotationArea, mouse.x, mouse.y);
                            var dx = (q.x - (box.x + box.width / 2)) * videoItem.sx;
                            var dy = (q.y - (box.y + box.height / 2)) * videoItem.sy;
                            if (dx === 0 && dy === 0)
                                return;
                            var degrees = Math.atan2(dx, -dy) * 180 / Math.PI;
                            angle = degrees < 0 ? degrees + 360 : degrees;
                            store(n.angle, angle);
                        }
                        onReleased: dragging = false
                    }
                }

                // Corners: the dragged corner follows the pointer, the opposite one mirrors it.
                Repeater {
                    model: [[-1, -1], [1, -1], [-1, 1], [1, 1]]
                    delegate: Rectangle {
                        id: corner
                        z: 3
                        width: handleSize / zoom
                        height: width
                        x: (modelData[0] + 1) / 2 * frame.width - width / 2
                        y: (modelData[1] + 1) / 2 * frame.height - height / 2
                        color: lineColor
                        border.color: 'black'
                        border.width: 1 / zoom

                        MouseArea {
                            id: cornerArea
                            anchors.fill: parent
                            anchors.margins: -3 / zoom
                            cursorShape: modelData[0] === modelData[1] ? Qt.SizeFDiagCursor : Qt.SizeBDiagCursor
                            onPressed: dragging = true
                            onPositionChanged: {
                                var local = toBox(toProfile(cornerArea, mouse.x, mouse.y));
                                var w = Keys.clamp(2 * local.x * modelData[0], p.width);
                                var h = Keys.clamp(2 * local.y * modelData[1], p.height);
                                var cx = box.x + box.width / 2, cy = box.y + box.height / 2;
                                box = Qt.rect(cx - w / 2, cy - h / 2, w, h);
                                store(n.rect, box);
                            }
                            onReleased: dragging = false
                        }
                    }
                }

                // Feather: the circles sit on the sides of the inner frame, inset by the
                // feather across and by feather x height / width down.
                Repeater {
                    model: [[-1, 0], [1, 0], [0, -1], [0, 1]]
                    delegate: Rectangle {
                        z: 1
                        readonly property real inset: modelData[0] !== 0 ? feather * videoItem.sx
                                                        : (box.width > 0 ? feather * box.height / box.width * videoItem.sy : 0)
                        width: handleSize * 0.9 / zoom
                        height: width
                        radius: width / 2
                        x: frame.width / 2 + modelData[0] * (frame.width / 2 - inset) - width / 2
                        y: frame.height / 2 + modelData[1] * (frame.height / 2 - inset) - height / 2
                        color: shadowColor
                        border.color: lineColor
                        border.width: 2 / zoom

                        MouseArea {
                            id: featherArea
                            anchors.fill: parent
                            anchors.margins: -3 / zoom
                            cursorShape: Qt.SizeHorCursor
                            onPressed: dragging = true
                            onPositionChanged: {
                                var local = toBox(toProfile(featherArea, mouse.x, mouse.y));
                                var f = modelData[0] !== 0 ? box.width / 2 - local.x * modelData[0]
                                                           : (box.height > 0 ? (box.height / 2 - local.y * modelData[1]) * box.width / box.height : feather);
                                feather = Keys.clamp(f, p.feather);
                                store(n.feather, feather);
                            }
                            onReleased: dragging = false
                        }
                    }
                }
            }

            // Opacity: a track 100 screen pixels tall, 40 left of the centre, unturned;
            // one pixel up is one percent more.
            Item {
                id: track
                x: (box.x + box.width / 2) * videoItem.sx - 40 / zoom
                y: (box.y + box.height / 2) * videoItem.sy - 50 / zoom
                width: 1 / zoom
                height: 100 / zoom

                Rectangle {
                    anchors.fill: parent
                    anchors.margins: -1 / zoom
                    color: shadowColor
                }
                Rectangle {
                    anchors.fill: parent
                    color: lineColor
                }

                Rectangle {
                    id: marker
                    width: 11 / zoom
                    height: 5 / zoom
                    x: -5 / zoom
                    y: (100 - Math.min(Math.max(strength, 0), 100)) / zoom - height / 2
                    color: shadowColor
                    border.color: lineColor
                    border.width: 1 / zoom

                    MouseArea {
                        id: opacityArea
                        anchors.fill: parent
                        anchors.margins: -4 / zoom
                        cursorShape: Qt.SizeVerCursor
                        onPressed: dragging = true
                        onPositionChanged: {
                            var q = opacityArea.mapToItem(track, mouse.x, mouse.y);
                            strength = Keys.clamp(100 - q.y * zoom, p.opacity);
                            store(n.opacity, strength);
                        }
                        onReleased: dragging = false
                    }
                }
            }
        }
    }

    onAngleChanged: ellipseCanvas.requestPaint()

    Connections {
        function onChanged() {
            load();
        }
        target: filter
    }

    Connections {
        function onPositionChanged() {
            load();
        }
        target: producer
    }
}
