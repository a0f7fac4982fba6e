# Every kind of bad input is a TypeError or ValueError that names what is
# wrong; nothing crashes, no result comes back and the frame is untouched.
import os
import subprocess
import sys

import numpy as np
import pytest

GOOD = np.arange(10 * 12 * 4, dtype=np.uint8).reshape(10, 12, 4)

FRAMES = [
    (np.zeros((4, 4, 4), np.int32), TypeError, "dtype int32"),
    (np.zeros((4, 4, 4), np.float64), TypeError, "dtype float64"),
    (np.zeros((4, 4, 4), ">u2"), TypeError, "byte order"),
    (np.zeros((4, 4, 4), bool), TypeError, "dtype bool"),
    (np.zeros((2, 2, 4), object), TypeError, "dtype object"),
    ("abc", TypeError, "dtype"),
    (np.zeros((4, 4, 3), np.uint8), ValueError, "3 channels"),
    (np.zeros((4, 4), np.uint8), ValueError, "shape"),
    (np.zeros((1, 4, 4, 4), np.uint8), ValueError, "shape"),
    (np.zeros((0, 4, 4), np.uint8), ValueError, "height and width"),
    # A view over one pixel: the limit is met before any memory is taken.
    (np.broadcast_to(np.zeros((1, 1, 4), np.uint8), (100000, 100000, 4)), ValueError, "VELLORA_MAX_PIXELS"),
]


@pytest.mark.parametrize("frame,error,needle", FRAMES, ids=[f"{e.__name__}-{n}" for _, e, n in FRAMES])
def test_bad_frames(vellora, frame, error, needle):
    for call in (vellora.render, vellora.overlay, vellora.Effect().render):
        with pytest.raises(error, match=needle):
            call(frame)


VALUES = [
    (dict(widht=3), ValueError, "widht.*not a parameter"),
    (dict(falloff="sinc"), ValueError, "falloff: 'sinc'"),
    (dict(mask_type=3.5), ValueError, "mask_type"),
    (dict(width="abc"), ValueError, "width: 'abc' is not a number"),
    (dict(width=-5), ValueError, r"width: '-5' is out of range \(0 to 15000 pixels\)"),
    (dict(height=float("nan")), ValueError, "height"),
    (dict(opacity=500), ValueError, r"opacity.*0 to 100 percent"),
    (dict(origin=(1,)), TypeError, "origin"),
    (dict(origin="a,b"), ValueError, "origin"),
    (dict(invert="maybe"), ValueError, "invert"),
    (dict(width=[1]), TypeError, "width"),
    # True is not one pixel, nor 1 a checkbox's value.
    (dict(width=True), TypeError, "width: expected a number, got bool"),
    (dict(invert=1), TypeError, "invert: expected True or False"),
    (dict(host="nuke"), ValueError, "host.*nuke"),
    (dict(downsample=0), ValueError, "downsample"),
    (dict(downsample=10**12), ValueError, "downsample"),
    (dict(pixel_aspect=(0, 1)), ValueError, "pixel_aspect"),
    (dict(pixel_aspect=(1, 2, 3)), TypeError, "pixel_aspect"),
    (dict(threads=-1), ValueError, "threads"),
    (dict(time="x"), TypeError, "time"),
    (dict(time=float("inf")), ValueError, "time"),
]


@pytest.mark.parametrize("values,error,needle", VALUES, ids=[str(v) for v, _, _ in VALUES])
def test_bad_values_and_settings(vellora, values, error, needle):
    kept = GOOD.copy()
    for call in (vellora.render, vellora.overlay):
        with pytest.raises(error, match=needle):
            call(GOOD, **values)
    assert np.array_equal(GOOD, kept)


def test_float_under_after_effects(vellora):
    with pytest.raises(ValueError, match="host 'ae' renders at most 16 bits"):
        vellora.render(np.zeros((4, 4, 4), np.float32), host="ae")
    with pytest.raises(ValueError, match="host 'ae'"):
        vellora.Effect(host="ae").render(np.zeros((4, 4, 4), np.float32))


def test_limits_from_the_environment():
    """The input limits the command reads hold for arrays too, read when the frame comes."""
    code = ("import numpy as np, vellora\n"
            "vellora.render(np.zeros((10, 10, 4), np.uint8))\n"
            "try:\n"
            "    vellora.render(np.zeros((10, 11, 4), np.uint8))\n"
            "except ValueError as e:\n"
            "    print(e)\n")
    env = dict(os.environ, VELLORA_MAX_PIXELS="100")
    done = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert "110 pixels, over the limit of 100 (VELLORA_MAX_PIXELS)" in done.stdout
