# What the module tells: its parameters from the one table (as the command
# reads them), its help pages and its type stubs.
import os
import pathlib
import subprocess
import sys

import numpy as np

import vellora as module
from conftest import CLI, params_file, same_bytes

NAMES = ["mask_type", "composite_mode", "origin", "width", "height", "angle", "feather", "opacity", "invert",
         "falloff"]


def test_parameters_as_the_command_names_them(vellora, tmp_path):
    params = vellora.parameters()
    assert sorted(params) == sorted(NAMES)
    frame = np.full((30, 40, 4), 200, np.uint8)
    for name, p in params.items():
        assert p["name"] == name and p["label"] and p["help"]
        assert p["unit"] in ("pixels", "degrees", "percent", "")
        assert p["kind"] in ("choice", "number", "point", "flag")
        if p["kind"] == "choice":
            # Every choice is a value render takes and the command takes, with its own result.
            results = set()
            for choice, label in p["choices"]:
                assert label
                out = vellora.render(frame, feather=10, width=20, opacity=70, **{name: choice})
                results.add(out.tobytes())
                done = subprocess.run([CLI, "render", "testcard:8x8", str(tmp_path / "o.png"), "-q", "--params",
                                       str(params_file(tmp_path / "p.json", {name: choice}))], capture_output=True)
                assert done.returncode == 0, done.stderr
            assert len(results) == len(p["choices"]), name
            assert p["default"] in [c for c, _ in p["choices"]]
        elif p["kind"] == "point":
            assert p["default"] is None and len(p["default_percent"]) == 2
        if p["kind"] == "number":
            assert p["min"] <= p["default"] <= p["max"]
            # The default is what an unset value renders as.
            assert same_bytes(vellora.render(frame, **{name: p["default"]}), vellora.render(frame))
    assert params["angle"]["unit"] == "degrees" and params["opacity"]["unit"] == "percent"
    assert params["width"]["unit"] == "pixels" and params["origin"]["unit"] == "pixels"


def test_help_pages_and_stubs_name_every_value():
    for fn in (module.render, module.overlay, module.Effect):
        doc = fn.__doc__
        assert doc and len(doc.splitlines()) > 15
        for name in NAMES:
            assert name in doc, f"{fn.__name__}'s page lacks {name}"
    assert module.render.__doc__.startswith("render(frame, *, host='premiere'")
    stubs = pathlib.Path(module.__file__).with_name("vellora.pyi")
    text = stubs.read_text()
    for definition in ("def render(", "def overlay(", "def parameters(", "class Effect:"):
        assert definition in text
    for name in NAMES:
        assert text.count(f"    {name}: ") >= 2, name
    # The stubs are valid Python.
    compile(text, str(stubs), "exec")


def test_help_reads_as_a_page():
    # A bare environment, but for a sanitizer's runtime the interpreter needs preloaded.
    env = {k: v for k, v in os.environ.items() if k in ("LD_PRELOAD", "ASAN_OPTIONS")}
    env.update(PAGER="cat", PYTHONPATH=str(pathlib.Path(module.__file__).parent))
    done = subprocess.run([sys.executable, "-c", "import vellora; help(vellora.render)"], capture_output=True,
                          text=True, env=env)
    assert done.returncode == 0, done.stderr
    assert "feather" in done.stdout and "ValueError" in done.stdout
