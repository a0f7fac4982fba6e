#include "python/Docs.h"

#include "support/Text.h"

namespace vpython {

namespace {

using vparams::ParamFacts;
using vparams::ValueKind;

// A value's Python type, as the stubs and the docstrings name it.
std::string PyType(const ParamFacts& f) {
    switch (f.kind) {
        case ValueKind::Choice: return "Literal[\"" + vtext::Join(vparams::ChoiceNames(f), "\", \"") + "\"]";
        case ValueKind::Flag: return "bool";
        case ValueKind::Point: return "tuple[float, float]";
        case ValueKind::Number: break;
    }
    return "float";
}

// Keyword lines one level deeper, for a method's signature.
std::string Deeper(const std::string& lines) {
    std::string out;
    for (char c : lines) {
        out += c;
        if (c == '\n') out += "    ";
    }
    return out;
}

std::string ValuesSection(const vparams::ParamFactsList& facts) {
    std::string text =
        "Effect values, by the names --params uses (left out or None: the effect's default;\n"
        "a string is read as the command line reads the option):\n";
    for (const ParamFacts& f : facts.All()) {
        text += "    " + f.key + ": " + PyType(f) + "\n        " + f.label + ". " + f.help + "\n";
    }
    return text;
}

const char* kFrame =
    "frame\n"
    "    An (height, width, 4) array of straight RGBA, any strides; it is never written.\n"
    "    uint8: 8 bits a sample, under either host.\n"
    "    uint16: 0..65535 as a 16-bit file holds it, converted exactly as `vellora render`\n"
    "        converts a 16-bit PNG: host 'ae' renders it in its 16-bit world, 'premiere' in float.\n"
    "    float32: 0..1 nominal, Premiere's float frames (host 'premiere' only).\n";

const char* kSettings =
    "downsample\n"
    "    1 to 64: render at 1/downsample of the frame on each axis, the frame box-filtered\n"
    "    first as `vellora render --downsample` does; the result is that size (rounded up).\n"
    "pixel_aspect\n"
    "    (numerator, denominator), each 1 to 1000, as --par: the layer's pixel aspect ratio.\n"
    "threads\n"
    "    0 to 256 threads for the render's passes; 0 uses every core.\n";

const char* kErrors =
    "Raises\n"
    "    TypeError: a frame that is no array or of another dtype, a value of the wrong type.\n"
    "    ValueError: a shape other than (height, width, 4), a frame over the input limits\n"
    "        (VELLORA_MAX_PIXELS, VELLORA_MAX_MEMORY, as for image files), an unknown\n"
    "        parameter or a value out of range; the message names it.\n"
    "    RuntimeError: the effect failed to render.\n"
    "    Nothing is returned half-made: an error leaves no result.\n";

}  // namespace

std::string ModuleDoc() {
    return "Vellora: a parametric soft alpha mask, applied to NumPy frames.\n\n"
           "The effect runs through its plug-in entry point in a host of its own, as `vellora\n"
           "render` runs it: a frame rendered here equals that command's output for the same\n"
           "pixels saved losslessly, byte for byte, at every depth and under both hosts.\n\n"
           "    render(frame, **values)     one frame\n"
           "    Effect(keys=..., **values)  a clip's frames, values keyed by frame\n"
           "    overlay(frame, **values)    the frame with the effect's on-screen handles\n"
           "    parameters()                every value's name, label, unit, range, default, choices\n\n"
           "Renders release the interpreter: frames render in parallel from several threads.\n";
}

std::string RenderDoc(const vparams::ParamFactsList& facts) {
    return std::string(
               "render(frame, *, host='premiere', time=0.0, downsample=1, pixel_aspect=(1, 1), threads=0, "
               "**values) -> numpy.ndarray\n\n"
               "The effect applied to one frame, as `vellora render` applies it to an image file.\n"
               "Returns a new C-ordered array of the frame's dtype, of the frame's shape (or smaller\n"
               "when downsampled): the colour as it was, the alpha rewritten by the mask.\n\n") +
           kFrame +
           "host\n"
           "    'premiere' or 'ae' (After Effects), as --host.\n"
           "time\n"
           "    Seconds: the frame's time as the host sends it.\n" +
           kSettings + "\n" + ValuesSection(facts) + "\n" + kErrors +
           "\nExample\n"
           "    >>> out = vellora.render(frame, mask_type='rectangle', width=640, height=360,\n"
           "    ...                      feather=40, falloff='gaussian', origin=(960, 540))\n";
}

std::string EffectDoc(const vparams::ParamFactsList& facts) {
    return std::string(
               "Effect(*, host='premiere', keys=None, fps=25, downsample=1, pixel_aspect=(1, 1), threads=0, "
               "**values)\n\n"
               "The effect kept in hosts of its own for the frames of a clip: the settings and values\n"
               "given here hold for every frame, keys move values from frame to frame exactly as\n"
               "`vellora render --keys FILE --fps FPS` computes them for a clip.\n\n"
               "keys\n"
               "    None, a dict in the --keys format ({'width': [{'frame': 1, 'value': 300}, ...]})\n"
               "    or the path of such a JSON file. A keyed value cannot also be given by name.\n"
               "fps\n"
               "    Frames a second, a number or 'N/D' as --fps takes it ('30000/1001').\n") +
           kSettings + "\n" + ValuesSection(facts);
}

std::string EffectRenderDoc() {
    return std::string(
               "render(frame, time=None, *, frame_number=None, **values) -> numpy.ndarray\n\n"
               "One frame of the clip: at clip frame `frame_number` (its time that frame's at the\n"
               "effect's fps), or at `time` seconds (the frame nearest it for keys), or at frame 0.\n"
               "The keys' values at that frame, then `values` over them (a keyed value cannot be\n"
               "given). The frame, result and errors are as for vellora.render.\n\n") +
           kFrame + "\n" + kErrors;
}

std::string OverlayDoc(const vparams::ParamFactsList& facts) {
    return std::string(
               "overlay(frame, *, host='premiere', time=0.0, downsample=1, pixel_aspect=(1, 1), threads=0, **values) "
               "-> numpy.ndarray\n\n"
               "What a host's layer window shows, as `vellora overlay` draws it: the rendered frame over a\n"
               "grey checkerboard with the overlay the effect draws on top (mask outline, handles,\n"
               "feather circles, rotation arm, opacity track). Returns an opaque (height, width, 4) uint8\n"
               "array of the frame's size.\n\n") +
           kFrame + kSettings + "\n" + ValuesSection(facts) + "\n" + kErrors;
}

std::string ParametersDoc() {
    return "parameters() -> dict[str, dict]\n\n"
           "Every effect value by name, in the host's order, each a dict: 'name', 'label' (as hosts\n"
           "show it), 'kind' ('choice', 'number', 'point' or 'flag'), 'unit' ('pixels', 'degrees',\n"
           "'percent' or ''), 'min' and 'max', 'default' (a point's is None: the layer's centre,\n"
           "'default_percent' of its size), 'choices' (a choice's (name, label) pairs), 'animated'\n"
           "and 'help'.\n";
}

std::string StubText(const vparams::ParamFactsList& facts) {
    std::string values;
    for (const ParamFacts& f : facts.All()) values += ",\n    " + f.key + ": " + PyType(f) + " | str | None = ...";
    const std::string settings =
        ",\n    downsample: int = 1,\n    pixel_aspect: int | tuple[int, int] = (1, 1),\n    threads: int = 0";
    std::string text =
        "# The vellora module's types, written by the build from the parameters' facts.\n"
        "from os import PathLike\n"
        "from typing import Any, Literal\n\n"
        "import numpy as np\n"
        "import numpy.typing as npt\n\n"
        "Frame = npt.NDArray[np.uint8] | npt.NDArray[np.uint16] | npt.NDArray[np.float32]\n"
        "Host = Literal[\"premiere\", \"ae\"]\n\n";
    text += "def render(\n    frame: Frame,\n    *,\n    host: Host = \"premiere\",\n    time: float = 0.0" + settings +
            values + ",\n) -> Any: ...\n\n";
    text += "def overlay(\n    frame: Frame,\n    *,\n    host: Host = \"premiere\",\n    time: float = 0.0" + settings +
            values + ",\n) -> npt.NDArray[np.uint8]: ...\n\n";
    text += "def parameters() -> dict[str, dict[str, Any]]: ...\n\n";
    text += "class Effect:\n    def __init__(\n        self,\n        *,\n        host: Host = \"premiere\",\n"
            "        keys: dict[str, Any] | str | PathLike[str] | None = None,\n        fps: float | str = 25" +
            Deeper(settings + values) + ",\n    ) -> None: ...\n";
    text += "    def render(\n        self,\n        frame: Frame,\n        time: float | None = None,\n        *,\n"
            "        frame_number: int | None = None" +
            Deeper(values) + ",\n    ) -> Any: ...\n";
    return text;
}

}  // namespace vpython
