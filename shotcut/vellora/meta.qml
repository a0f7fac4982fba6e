import QtQuick 2.0
import org.shotcut.qml 1.0
import "params.js" as Vellora

Metadata {
    type: Metadata.Filter
    objectName: Vellora.filter.objectName
    name: Vellora.filter.name
    keywords: qsTr('matte alpha ellipse rectangle feather vignette rotate', 'search keywords for the Vellora mask filter') + ' ' + Vellora.filter.name.toLowerCase()
    mlt_service: Vellora.filter.service
    qml: 'ui.qml'
    vui: 'vui.qml'

    keyframes {
        parameters: [
            Parameter {
                name: qsTr('Position / Size')
                property: Vellora.names.rect
                isRectangle: true
            },
            Parameter {
                name: Vellora.params.angle.label
                property: Vellora.names.angle
                isCurve: true
                minimum: Vellora.params.angle.minimum
                maximum: Vellora.params.angle.maximum
            },
            Parameter {
                name: Vellora.params.feather.label
                property: Vellora.names.feather
                isCurve: true
                minimum: Vellora.params.feather.minimum
                maximum: Vellora.params.feather.maximum
            },
            Parameter {
                name: Vellora.params.opacity.label
                property: Vellora.names.opacity
                isCurve: true
                minimum: Vellora.params.opacity.minimum
                maximum: Vellora.params.opacity.maximum
            }
        ]
    }
}
