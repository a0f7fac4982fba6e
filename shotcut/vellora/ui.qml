import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut
import "params.js" as Vellora
import "keys.js" as Keys

Item {
    id: root

    readonly property var p: Vellora.params
    readonly property var n: Vellora.names  // the MLT properties, by parameter
    property bool blockUpdate: true
    property rect box

    function position() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    // A popup's stored name as its index in the declared list; an unknown name shows the default.
    function choiceIndex(entry, name) {
        var i = entry.choices.indexOf(name);
        return i >= 0 ? i : entry.choices.indexOf(entry.defaultValue);
    }

    function setControls() {
        var at = position();
        blockUpdate = true;
        maskCombo.currentIndex = choiceIndex(p.mask_type, filter.get(n.mask_type));
        modeCombo.currentIndex = choiceIndex(p.composite_mode, filter.get(n.composite_mode));
        falloffCombo.currentIndex = choiceIndex(p.falloff, filter.get(n.falloff));
        box = filter.getRect(n.rect, at);
        rectX.value = box.x;
        rectY.value = box.y;
        rectW.value = box.width;
        rectH.value = box.height;
        angleSpin.value = filter.getDouble(n.angle, at);
        featherSlider.value = filter.getDouble(n.feather, at);
        opacitySlider.value = filter.getDouble(n.opacity, at);
        invertCheck.checked = filter.get(n.invert) === '1';
        rectKeys.checked = filter.keyframeCount(n.rect) > 0;
        angleKeys.checked = filter.keyframeCount(n.angle) > 0;
        featherKeys.checked = filter.keyframeCount(n.feather) > 0;
        opacityKeys.checked = filter.keyframeCount(n.opacity) > 0;
        blockUpdate = false;
    }

    function setNumber(name, value) {
        if (!blockUpdate)
            Keys.setValue(filter, name, value, position());
    }

    function setBox() {
        if (blockUpdate)
            return;
        box = Qt.rect(rectX.value, rectY.value, rectW.value, rectH.value);
        Keys.setValue(filter, n.rect, box, position());
    }

    // The keyframe button turns a property's one value into a first keyframe here, or back.
    function toggleKeys(button, name, value) {
        if (button.checked) {
            filter.blockSignals = true;
            filter.clearSimpleAnimation(name);
            filter.blockSignals = false;
            filter.set(name, value, position());
        } else {
            filter.blockSignals = true;
            filter.resetProperty(name);
            filter.blockSignals = false;
            filter.set(name, value);
        }
        button.checked = filter.keyframeCount(name) > 0;
    }

    function setDefaults() {
        // The mask variant is MLT's mask_start, told which filter to run.
        if (Vellora.filter.runs)
            filter.set('filter', Vellora.filter.runs);
        filter.set(n.mask_type, p.mask_type.defaultValue);
        filter.set(n.composite_mode, p.composite_mode.defaultValue);
        filter.set(n.falloff, p.falloff.defaultValue);
        filter.set(n.rect, Keys.defaultRect(profile.width, profile.height));
        filter.set(n.angle, p.angle.defaultValue);
        filter.set(n.feather, p.feather.defaultValue);
        filter.set(n.opacity, p.opacity.defaultValue);
        filter.set(n.invert, p.invert.defaultValue ? 1 : 0);
    }

    width: 400
    height: 380
    Component.onCompleted: {
        if (filter.isNew) {
            setDefaults();
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    GridLayout {
        columns: 4
        anchors.fill: parent
        anchors.margins: 8

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.Preset {
            id: preset
            parameters: [n.mask_type, n.composite_mode, n.falloff, n.rect, n.angle, n.feather, n.opacity, n.invert]
            Layout.columnSpan: 3
            onBeforePresetLoaded: {
                for (var i in parameters)
                    filter.resetProperty(parameters[i]);
            }
            onPresetSelected: setControls()
        }

        Label {
            text: p.mask_type.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.ComboBox {
            implicitWidth: 180
            id: maskCombo
            model: p.mask_type.labels
            Layout.columnSpan: 3
            onActivated: filter.set(n.mask_type, p.mask_type.choices[index])
        }

        Label {
            text: p.composite_mode.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.ComboBox {
            implicitWidth: 180
            id: modeCombo
            model: p.composite_mode.labels
            Layout.columnSpan: 3
            onActivated: filter.set(n.composite_mode, p.composite_mode.choices[index])
        }

        Label {
            text: p.falloff.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.ComboBox {
            implicitWidth: 180
            id: falloffCombo
            model: p.falloff.labels
            Layout.columnSpan: 3
            onActivated: filter.set(n.falloff, p.falloff.choices[index])
        }

        Label {
            text: qsTr('Position')
            Layout.alignment: Qt.AlignRight
        }
        RowLayout {
            Shotcut.DoubleSpinBox {
                id: rectX
                Layout.minimumWidth: 90
                from: p.origin.minimum
                to: p.origin.maximum
                onValueModified: setBox()
            }
            Label { text: ',' }
            Shotcut.DoubleSpinBox {
                id: rectY
                Layout.minimumWidth: 90
                from: p.origin.minimum
                to: p.origin.maximum
                onValueModified: setBox()
            }
        }
        Shotcut.UndoButton {
            onClicked: {
                var d = Keys.defaultRect(profile.width, profile.height);
                rectX.value = d.x + (d.width - rectW.value) / 2;
                rectY.value = d.y + (d.height - rectH.value) / 2;
                setBox();
            }
        }
        Shotcut.KeyframesButton {
            id: rectKeys
            Layout.rowSpan: 2
            onToggled: toggleKeys(rectKeys, n.rect, box)
        }

        Label {
            text: qsTr('Size')
            Layout.alignment: Qt.AlignRight
        }
        RowLayout {
            Shotcut.DoubleSpinBox {
                id: rectW
                Layout.minimumWidth: 90
                decimals: p.width.decimals
                from: p.width.minimum
                to: p.width.maximum
                suffix: ' px'
                onValueModified: setBox()
            }
            Label { text: 'x' }
            Shotcut.DoubleSpinBox {
                id: rectH
                Layout.minimumWidth: 90
                decimals: p.height.decimals
                from: p.height.minimum
                to: p.height.maximum
                suffix: ' px'
                onValueModified: setBox()
            }
        }
        Shotcut.UndoButton {
            onClicked: {
                // Back to the declared size about the same centre.
                rectX.value += (rectW.value - p.width.defaultValue) / 2;
                rectY.value += (rectH.value - p.height.defaultValue) / 2;
                rectW.value = p.width.defaultValue;
                rectH.value = p.height.defaultValue;
                setBox();
            }
        }

        Label {
            text: p.angle.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.DoubleSpinBox {
            id: angleSpin
            Layout.minimumWidth: 90
            decimals: 1
            from: p.angle.minimum
            to: p.angle.maximum
            suffix: ' °'
            onValueModified: setNumber(n.angle, value)
        }
        Shotcut.UndoButton {
            onClicked: {
                angleSpin.value = p.angle.defaultValue;
                setNumber(n.angle, angleSpin.value);
            }
        }
        Shotcut.KeyframesButton {
            id: angleKeys
            onToggled: toggleKeys(angleKeys, n.angle, angleSpin.value)
        }

        Label {
            text: p.feather.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: featherSlider
            minimumValue: p.feather.minimum
            maximumValue: p.feather.maximum
            decimals: p.feather.decimals
            suffix: ' px'
            onValueChanged: setNumber(n.feather, value)
        }
        Shotcut.UndoButton {
            onClicked: featherSlider.value = p.feather.defaultValue
        }
        Shotcut.KeyframesButton {
            id: featherKeys
            onToggled: toggleKeys(featherKeys, n.feather, featherSlider.value)
        }

        Label {
            text: p.opacity.label
            Layout.alignment: Qt.AlignRight
        }
        Shotcut.SliderSpinner {
            id: opacitySlider
            minimumValue: p.opacity.minimum
            maximumValue: p.opacity.maximum
            decimals: p.opacity.decimals
            suffix: ' %'
            onValueChanged: setNumber(n.opacity, value)
        }
        Shotcut.UndoButton {
            onClicked: opacitySlider.value = p.opacity.defaultValue
        }
        Shotcut.KeyframesButton {
            id: opacityKeys
            onToggled: toggleKeys(opacityKeys, n.opacity, opacitySlider.value)
        }

        Label {}
        CheckBox {
            id: invertCheck
            text: p.invert.text
            Layout.columnSpan: 3
            onClicked: filter.set(n.invert, checked ? 1 : 0)
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }
        function onInChanged() {
            setControls();
        }
        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }
        target: producer
    }
}
