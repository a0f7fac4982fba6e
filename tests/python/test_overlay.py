# vellora.overlay draws what `vellora overlay` draws, byte for byte.
import numpy as np
import pytest

from conftest import extension, load, params_file, random_frame, run_cli, save

CASES = [
    ("uint8", "premiere", 1, (1, 1), dict(width=60, height=30, feather=12, angle=25, origin=(50, 40))),
    ("uint8", "ae", 2, (1, 1), dict(mask_type="rectangle", width=70, feather=20, opacity=60, invert=True)),
    ("uint16", "ae", 1, (2, 1), dict(width=50, height=50, angle=-40, composite_mode="intersect")),
    ("float32", "premiere", 3, (1, 1), dict(falloff="gaussian", feather=25, origin=(10, 70))),
]


@pytest.mark.parametrize("dtype,host,downsample,par,values", CASES)
def test_overlay_equals_the_command(vellora, tmp_path, dtype, host, downsample, par, values):
    frame = random_frame(np.random.default_rng(21), dtype, 81, 121)
    ext = extension(dtype)
    save(tmp_path / f"in.{ext}", frame)
    run_cli("overlay", tmp_path / f"in.{ext}", tmp_path / "view.png", "--host", host, "--downsample", downsample,
            "--par", f"{par[0]}/{par[1]}", "--params", params_file(tmp_path / "p.json", values), "-q")
    expected = load(tmp_path / "view.png", "uint8")
    got = vellora.overlay(frame, host=host, downsample=downsample, pixel_aspect=par, **values)
    assert got.shape == (81, 121, 4) and got.dtype == np.uint8
    assert np.all(got[..., 3] == 255)
    assert np.array_equal(got[..., :3], expected[..., :3])


def test_overlay_draws_handles_where_the_mask_is(vellora):
    frame = np.zeros((100, 200, 4), np.uint8)
    left = vellora.overlay(frame, origin=(50, 50), width=40, height=40, feather=0)
    right = vellora.overlay(frame, origin=(150, 50), width=40, height=40, feather=0)
    changed = np.any(left != right, axis=2)
    assert changed[:, :100].any() and changed[:, 100:].any()
    with pytest.raises(ValueError, match="opacity"):
        vellora.overlay(frame, opacity=101)
