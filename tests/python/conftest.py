# The built module and command, found through the environment ctest sets
# (PYTHONPATH, VELLORA_CLI) or in build/ of this worktree when run by hand.
import json
import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
if "VELLORA_INSTALLED_TEST" not in os.environ and not any(
        pathlib.Path(p, "vellora.pyi").exists() for p in sys.path if p):
    sys.path.insert(0, str(ROOT / "build" / "python"))

CLI = os.path.abspath(os.environ.get("VELLORA_CLI", ROOT / "build" / "bin" / "vellora"))

DEPTHS = {np.dtype("uint8"): "UINT8", np.dtype("uint16"): "UINT16", np.dtype("float32"): "FLOAT"}


def oiio_type(dtype):
    import OpenImageIO as oiio
    return getattr(oiio, DEPTHS[np.dtype(dtype)])


def save(path, frame):
    """Writes straight RGBA losslessly: PNG, or TIFF for float."""
    import OpenImageIO as oiio
    spec = oiio.ImageSpec(frame.shape[1], frame.shape[0], 4, oiio_type(frame.dtype))
    spec.attribute("oiio:UnassociatedAlpha", 1)
    out = oiio.ImageOutput.create(str(path))
    assert out and out.open(str(path), spec), oiio.geterror()
    assert out.write_image(np.ascontiguousarray(frame)), out.geterror()
    out.close()


def load(path, dtype):
    import OpenImageIO as oiio
    config = oiio.ImageSpec()
    config.attribute("oiio:UnassociatedAlpha", 1)
    inp = oiio.ImageInput.open(str(path), config)
    assert inp, oiio.geterror()
    pixels = inp.read_image(oiio_type(dtype))
    inp.close()
    return pixels


def extension(dtype):
    return "tif" if np.dtype(dtype) == np.float32 else "png"


def run_cli(*args):
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done


def params_file(path, values):
    """The values as a --params file: the same names, tuples as JSON arrays."""
    path.write_text(json.dumps({k: list(v) if isinstance(v, tuple) else v for k, v in values.items()}))
    return path


def same_bytes(a, b):
    return a.shape == b.shape and a.dtype == b.dtype and a.tobytes() == b.tobytes()


def random_frame(rng, dtype, height, width):
    dtype = np.dtype(dtype)
    if dtype == np.float32:
        # Beyond 0..1 too: float frames carry super-whites and negatives.
        return (rng.random((height, width, 4), dtype=np.float32) * 1.4 - 0.2).astype(np.float32)
    return rng.integers(0, np.iinfo(dtype).max + 1, (height, width, 4)).astype(dtype)


@pytest.fixture(scope="session")
def vellora():
    import vellora as module
    return module
