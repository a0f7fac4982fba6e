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

    // A popup's stored name as its index in the declared list: unset is the
    // default; an unknown name shows none, and is named in the panel's notice.
    function choiceIndex(key, problems) {
        var entry = p[key], name = filter.get(n[key]);
        if (name === '')
            return entry.choices.indexOf(entry.defaultValue);
        var i = entry.choices.indexOf(name);
        if (i < 0)
            problems.push(entry.label + ": '" + name + "' is not one of " + entry.choices.join(', '));
        return i;
    }

    // A number at `at`; unset, the effect's default (the filter uses it too).
    function number(key, at) {
        return filter.get(n[key]) === '' ? p[key].defaultValue : filter.getDouble(n[key], at);
    }

    // The box as stored, when it is one: unset, the default box; not four
    // numbers (at every key), named in the notice and shown as the default.
    function storedBox(at, problems) {
        var text = filter.get(n.rect);
        var fallback = Keys.defaultRect(profile.width, profile.height);
        if (text === '')
            return fallback;
        // Numbers as MLT splits them: one space or comma after each, so
        // "1 2,,3 4" (an empty field, read as 0) is not a box.
        var number = '[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?%?';
        var boxPattern = new RegExp('^' + number + '([\\s,]\\s*' + number + '){3,4}[\\s,]?$');
        var percent = text.indexOf('%') >= 0;
        var keys = text.split(';');
        for (var i = 0; i < keys.length; ++i) {
            var value = keys[i].substring(keys[i].indexOf('=') + 1).trim();
            var words = value.split(/[\s,]\s*/);
            var ok = value === '' ? i === keys.length - 1 : boxPattern.test(value);
            // MLT scales every number once the text holds a "%".
            for (var w = 0; ok && value !== '' && w < 4; ++w)
                ok = (words[w].slice(-1) === '%') === percent;
            if (!ok) {
                problems.push(qsTr('Position / Size') + ": '" + text + "' is not X Y W H");
                return fallback;
            }
        }
        return filter.getRect(n.rect, at);
    }

    function setControls() {
        var at = position();
        var problems = [];
        blockUpdate = true;
        maskCombo.currentIndex = choiceIndex('mask_type', problems);
        modeCombo.currentIndex = choiceIndex('composite_mode', problems);
        falloffCombo.currentIndex = choiceIndex('falloff', problems);
        box = storedBox(at, problems);
        rectX.value = box.x;
        rectY.value = box.y;
        rectW.value = box.width;
        rectH.value = box.height;
        angleSpin.value = number('angle', at);
        featherSlider.value = number('feather', at);
        opacitySlider.value = number('opacity', at);
        invertCheck.checked = filter.get(n.invert) === '1';
        rectKeys.checked = filter.keyframeCount(n.rect) > 0;
        angleKeys.checked = filter.keyframeCount(n.angle) > 0;
        featherKeys.checked = filter.keyframeCount(n.feather) > 0;
        opacityKeys.checked = filter.keyframeCount(n.opacity) > 0;
        // The filter refuses such a project and passes its frames through unmasked.
        notice.text = problems.length ? qsTr('Not applied, the project holds values the mask refuses:') + '\n' +
                                        problems.join('\n') : '';
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
                Layout.minimumWidth: 100
                // The corner is in the size's unit and kept to its precision:
                // whole pixels turned 196.923 into 196 when the box was set anew.
                decimals: p.width.decimals
                from: p.origin.minimum
                to: p.origin.maximum
                suffix: ' px'
                onValueModified: setBox()
            }
            Label { text: ',' }
            Shotcut.DoubleSpinBox {
                id: rectY
                Layout.minimumWidth: 100
                decimals: p.width.decimals
                from: p.origin.minimum
                to: p.origin.maximum
                suffix: ' px'
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
            // Room for the widest angle, "-32767.0 °", beside its label.
            Layout.minimumWidth: 120
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

        Label {
            id: notice
            visible: text !== ''
            color: 'red'
            wrapMode: Text.Wrap
            Layout.columnSpan: 4
            Layout.fillWidth: true
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
