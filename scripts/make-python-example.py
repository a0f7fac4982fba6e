#!/usr/bin/python3
"""Runs the worked example of docs/python.md on the test card and writes its
five frames over a checkerboard, side by side, to docs/python-example.png.
   PYTHONPATH=build/python scripts/make-python-example.py [BUILD]   (default build/)"""
import pathlib
import re
import subprocess
import sys
import tempfile

import numpy as np
import OpenImageIO as oiio

root = pathlib.Path(__file__).resolve().parents[1]
build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build").resolve()
sys.path.insert(0, str(build / "python"))
page = (root / "docs" / "python.md").read_text()
code = re.search(r"```python\n(.*?)```", page.split("## The worked example", 1)[1], re.S).group(1)

with tempfile.TemporaryDirectory() as work:
    subprocess.run([build / "bin" / "vellora", "render", "testcard:480x270", f"{work}/photo.png", "--mask",
                    "rectangle", "--width", "15000", "--height", "15000", "-q"], check=True)
    subprocess.run([sys.executable, "-c", code], cwd=work, check=True,
                   env={"PYTHONPATH": str(build / "python")})
    frames = []
    for n in range(5):
        inp = oiio.ImageInput.open(f"{work}/masked.{n:04d}.png")
        frames.append(inp.read_image(oiio.UINT8)[::2, ::2].astype(np.float32) / 255)
        inp.close()

h, w = frames[0].shape[:2]
gap = 6
strip = np.ones((h, 5 * w + 4 * gap, 3), np.float32)
y, x = np.mgrid[0:h, 0:w]
checker = np.where(((x // 8) + (y // 8)) % 2 == 0, 0.6, 0.4)[..., None].astype(np.float32)
for n, f in enumerate(frames):
    a = f[..., 3:4]
    strip[:, n * (w + gap):n * (w + gap) + w] = f[..., :3] * a + checker * (1 - a)
out = oiio.ImageOutput.create("png")
target = str(root / "docs" / "python-example.png")
out.open(target, oiio.ImageSpec(strip.shape[1], h, 3, oiio.UINT8))
out.write_image((strip * 255 + 0.5).astype(np.uint8))
out.close()
print(target)
