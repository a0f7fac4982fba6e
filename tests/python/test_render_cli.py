# vellora.render equals `vellora render` of the same pixels saved losslessly,
# byte for byte, at every depth under both hosts, over random values and
# settings; and any strided frame renders as its contiguous copy would.
import numpy as np
import pytest

from conftest import extension, load, params_file, random_frame, run_cli, same_bytes, save

# (dtype, host): every depth each host renders.
DEPTH_HOSTS = [("uint8", "ae"), ("uint8", "premiere"), ("uint16", "ae"), ("uint16", "premiere"),
               ("float32", "premiere")]
CASES = 10


def random_values(rng, vellora, width, height):
    """Every parameter given, from the choices parameters() lists, in ranges the frame shows."""
    values = {}
    for name, p in vellora.parameters().items():
        if p["kind"] == "choice":
            values[name] = p["choices"][rng.integers(len(p["choices"]))][0]
        elif p["kind"] == "flag":
            values[name] = bool(rng.integers(2))
        elif p["kind"] == "point":
            values[name] = (float(rng.uniform(-0.2, 1.2) * width), float(rng.uniform(-0.2, 1.2) * height))
        elif name == "opacity":
            values[name] = float(rng.uniform(p["min"], p["max"]))
        elif name == "angle":
            values[name] = float(rng.uniform(-720, 720))
        else:
            values[name] = float(rng.uniform(0, 1.5 * max(width, height)))
    return values


@pytest.mark.parametrize("dtype,host", DEPTH_HOSTS)
def test_render_equals_the_command(vellora, tmp_path, dtype, host):
    rng = np.random.default_rng(abs(hash((dtype, host))) % 2**32)
    ext = extension(dtype)
    for case in range(CASES):
        height, width = (int(v) for v in rng.integers(1, 120, 2))
        if case == 0:
            height, width = 1, 1
        frame = random_frame(rng, dtype, height, width)
        values = random_values(rng, vellora, width, height)
        downsample = int(rng.choice([1, 1, 2, 3, 5]))
        par = (int(rng.integers(1, 5)), int(rng.integers(1, 5)))
        threads = int(rng.integers(0, 3))
        save(tmp_path / f"in.{ext}", frame)
        run_cli("render", tmp_path / f"in.{ext}", tmp_path / f"out.{ext}", "--host", host, "--params",
                params_file(tmp_path / "p.json", values), "--downsample", downsample,
                "--par", f"{par[0]}/{par[1]}", "-q")
        expected = load(tmp_path / f"out.{ext}", dtype)
        kept = frame.copy()
        got = vellora.render(frame, host=host, downsample=downsample, pixel_aspect=par, threads=threads, **values)
        context = f"{dtype} {host} {width}x{height} downsample {downsample} par {par} {values}"
        assert same_bytes(got, expected), context
        assert same_bytes(frame, kept), "the input was written: " + context


@pytest.mark.parametrize("dtype,host", DEPTH_HOSTS)
def test_strided_frames_render_as_their_copies(vellora, dtype, host):
    rng = np.random.default_rng(7)
    base = random_frame(rng, dtype, 41, 67)
    values = dict(width=40, height=25, feather=12, angle=20, origin=(30, 18), composite_mode="intersect")
    planar = np.ascontiguousarray(np.moveaxis(base, 2, 0))          # channels as planes
    raw = np.zeros(base.nbytes + 1, np.uint8)                          # samples at an odd address
    unaligned = raw[1:].view(base.dtype).reshape(base.shape)
    unaligned[...] = base
    views = {
        "reversed and skipping": base[::-1, ::2],
        "channel planes": np.moveaxis(planar, 0, 2),
        "transposed": base.transpose(1, 0, 2),
        "one pixel broadcast": np.broadcast_to(base[3:4, 5:6], (9, 11, 4)),
        "unaligned": unaligned,
        "padded rows": np.pad(base, ((0, 0), (0, 5), (0, 0)))[:, :67],
    }
    for name, view in views.items():
        for downsample in (1, 2):
            expected = vellora.render(np.ascontiguousarray(view), host=host, downsample=downsample, **values)
            got = vellora.render(view, host=host, downsample=downsample, **values)
            assert same_bytes(got, expected), f"{name}, downsample {downsample}"
            assert got.flags.c_contiguous and got.flags.writeable and not np.shares_memory(got, view)


def test_read_only_input_and_colour_kept(vellora):
    frame = random_frame(np.random.default_rng(3), "uint8", 30, 40)
    frame.setflags(write=False)
    out = vellora.render(frame, width=10, feather=5)
    assert np.array_equal(out[..., :3], frame[..., :3])
    assert not np.array_equal(out[..., 3], frame[..., 3])  # the mask cut the alpha
    assert out.base is None or out.base is not frame


def test_values_as_text_equal_typed_values(vellora):
    frame = random_frame(np.random.default_rng(4), "uint16", 20, 30)
    typed = vellora.render(frame, host="ae", width=12.5, origin=(10, 8), invert=True, falloff="cubic", feather=6)
    text = vellora.render(frame, host="ae", width="12.5", origin="10,8", invert="on", falloff="CUBIC", feather="6")
    assert same_bytes(typed, text)
    assert same_bytes(vellora.render(frame, host="ae", width=None), vellora.render(frame, host="ae"))
