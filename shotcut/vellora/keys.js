.pragma library
.import "params.js" as Vellora

// A value goes in as a keyframe at `position` once the property has keyframes,
// otherwise as the one value for the whole clip.
function setValue(filter, name, value, position) {
    if (filter.keyframeCount(name) > 0)
        filter.set(name, value, position);
    else
        filter.set(name, value);
}

// The effect's default box in profile pixels: its declared size about its
// declared centre (a percentage of the frame).
function defaultRect(width, height) {
    var p = Vellora.params;
    var w = p.width.defaultValue, h = p.height.defaultValue;
    var cx = width * p.origin.defaultValue[0] / 100, cy = height * p.origin.defaultValue[1] / 100;
    return Qt.rect(cx - w / 2, cy - h / 2, w, h);
}

function clamp(value, entry) {
    return Math.min(Math.max(value, entry.minimum), entry.maximum);
}
