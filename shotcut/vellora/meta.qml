import QtQuick 2.0
import org.shotcut.qml 1.0
import "params.js" as Vellora

Metadata {
    type: Metadata.Filter
    objectName: 'vellora'
    name: qsTr('Mask: Vellora')
    keywords: qsTr('matte alpha ellipse rectangle feather vignette rotate', 'search keywords for the Vellora mask filter') + ' mask: vellora'
    mlt_service: 'vellora'
    qml: 'ui.qml'
    vui: 'vui.qml'

    keyframes {
        parameters: [
            Parameter {
                name: qsTr('Position / Size')
                property: 'rect'
                isRectangle: true
            },
            Parameter {
                name: Vellora.params.angle.label
                property: 'angle'
                isCurve: true
                minimum: Vellora.params.angle.minimum
                maximum: Vellora.params.angle.maximum
            },
            Parameter {
                name: Vellora.params.feather.label
                property: 'feather'
                isCurve: true
                minimum: Vellora.params.feather.minimum
                maximum: Vellora.params.feather.maximum
            },
            Parameter {
                name: Vellora.params.opacity.label
                property: 'opacity'
                isCurve: true
                minimum: Vellora.params.opacity.minimum
                maximum: Vellora.params.opacity.maximum
            }
        ]
    }
}
