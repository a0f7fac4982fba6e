# vellora.Effect renders a clip's frames as `vellora render --keys` does, with
# keys given as a dict or a file, frames named by number or by time.
import json

import numpy as np
import pytest

from conftest import extension, load, random_frame, run_cli, same_bytes, save

KEYS = {
    "width": [{"frame": 1, "value": 10}, {"frame": 5, "value": 34.5}],
    "angle": [{"frame": 2, "value": -30}, {"frame": 6, "value": 95, "interpolation": "hold"}, {"frame": 8, "value": 0}],
    "falloff": [{"frame": 1, "value": "linear"}, {"frame": 3, "value": "cubic"}],
    "origin": [{"frame": 1, "value": [5, 5]}, {"frame": 7, "value": [33, 21]}],
    "invert": [{"frame": 4, "value": True}],
}
FRAMES = range(1, 9)


@pytest.mark.parametrize("dtype,host", [("uint8", "ae"), ("uint16", "ae"), ("float32", "premiere")])
def test_keys_equal_a_command_clip(vellora, tmp_path, dtype, host):
    frame = random_frame(np.random.default_rng(11), dtype, 27, 41)
    ext = extension(dtype)
    save(tmp_path / f"in.{ext}", frame)
    (tmp_path / "keys.json").write_text(json.dumps(KEYS))
    run_cli("render", tmp_path / f"in.{ext}", tmp_path / f"out.%02d.{ext}", "--frames", "1-8", "--keys",
            tmp_path / "keys.json", "--fps", "30000/1001", "--host", host, "--feather", 7, "--height", 15,
            "--jobs", 2, "-q")
    by_dict = vellora.Effect(host=host, keys=KEYS, fps="30000/1001", feather=7, height=15)
    by_path = vellora.Effect(host=host, keys=tmp_path / "keys.json", fps="30000/1001", feather=7, height=15)
    renders = [by_dict.render(frame, frame_number=n) for n in FRAMES]
    for n, got in zip(FRAMES, renders):
        expected = load(tmp_path / f"out.{n:02d}.{ext}", dtype)
        assert same_bytes(got, expected), f"frame {n}"
        assert same_bytes(by_path.render(frame, frame_number=n), expected), f"frame {n} from the keys file"
        # A frame's own time names the same frame.
        assert same_bytes(by_dict.render(frame, n * 1001 / 30000), expected), f"frame {n} by time"
    # The keys move the mask: not every frame is the same.
    assert len({r.tobytes() for r in renders}) > 4


def test_values_over_keys_and_keyed_values_refused(vellora):
    frame = random_frame(np.random.default_rng(12), "uint8", 20, 30)
    effect = vellora.Effect(keys={"width": [{"frame": 0, "value": 8}, {"frame": 10, "value": 28}]})
    assert same_bytes(effect.render(frame, frame_number=5, feather=4),
                      vellora.render(frame, width=18, feather=4))
    with pytest.raises(ValueError, match="width"):
        effect.render(frame, frame_number=5, width=3)
    with pytest.raises(ValueError, match="width"):
        vellora.Effect(keys={"width": [{"frame": 0, "value": 8}]}, width=3)
    with pytest.raises(TypeError, match="time or frame_number"):
        effect.render(frame, 0.5, frame_number=2)


@pytest.mark.parametrize("keys,needle", [
    ({"widht": [{"frame": 0, "value": 8}]}, "widht"),
    ({"width": [{"frame": 0, "value": "wide"}]}, "width"),
    ({"falloff": [{"frame": 0, "value": "sinc"}]}, "sinc"),
    ({"width": "8"}, "width"),
    ("/nonexistent/keys.json", "/nonexistent/keys.json"),
])
def test_bad_keys_name_what_is_wrong(vellora, keys, needle):
    with pytest.raises(ValueError, match=needle):
        vellora.Effect(keys=keys)


def test_bad_keys_type_and_frame_numbers(vellora):
    frame = np.zeros((4, 4, 4), np.uint8)
    with pytest.raises(TypeError, match="keys"):
        vellora.Effect(keys=[1, 2])
    effect = vellora.Effect()
    for bad, error in [(-1, ValueError), (2**40, ValueError), (1.5, TypeError), (True, TypeError)]:
        with pytest.raises(error, match="frame_number"):
            effect.render(frame, frame_number=bad)
    with pytest.raises(ValueError, match="fps"):
        vellora.Effect(fps=0)
