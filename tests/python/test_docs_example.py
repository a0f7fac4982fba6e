# The worked example of docs/python.md runs as printed, and its frames are
# what `vellora render --keys` makes of the same image, keys and values.
import json
import pathlib
import re

import numpy as np

from conftest import ROOT, load, params_file, run_cli, same_bytes


def example_code():
    page = (ROOT / "docs" / "python.md").read_text()
    section = page.split("## The worked example", 1)[1]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_the_worked_example(tmp_path, monkeypatch):
    run_cli("render", "testcard:96x54", tmp_path / "photo.png", "--mask", "rectangle", "--width", 15000,
            "--height", 15000, "-q")
    monkeypatch.chdir(tmp_path)
    scope = {}
    exec(compile(example_code(), "docs/python.md", "exec"), scope)
    (tmp_path / "keys.json").write_text(json.dumps(scope["keys"]))
    run_cli("render", tmp_path / "photo.png", tmp_path / "cli.%04d.png", "--frames", "0-4", "--keys",
            tmp_path / "keys.json", "--params", params_file(tmp_path / "look.json", scope["look"]), "--fps", 25,
            "--host", "premiere", "-q")
    frames = []
    for n in range(5):
        got = load(tmp_path / f"masked.{n:04d}.png", "uint8")
        assert same_bytes(got, load(tmp_path / f"cli.{n:04d}.png", "uint8")), f"frame {n}"
        frames.append(got)
    assert not np.array_equal(frames[0][..., 3], frames[4][..., 3])
