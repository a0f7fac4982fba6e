# Renders from several Python threads at once give each its own result, the
# interpreter runs on while the effect renders, and memory stays flat.
import gc
import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

from conftest import random_frame, same_bytes


def job(i):
    rng = np.random.default_rng(100 + i)
    dtype = ["uint8", "uint16", "float32"][i % 3]
    frame = random_frame(rng, dtype, int(rng.integers(20, 90)), int(rng.integers(20, 90)))
    values = dict(width=float(rng.uniform(5, 80)), feather=float(rng.uniform(0, 30)),
                  angle=float(rng.uniform(-90, 90)), invert=bool(i % 2),
                  falloff=["linear", "gaussian", "cubic"][i % 3], host=["ae", "premiere", "premiere"][i % 3])
    return frame, values


def test_threads_get_their_own_results(vellora):
    jobs = [job(i) for i in range(24)]
    expected = [vellora.render(frame, **values) for frame, values in jobs]
    effect = vellora.Effect(feather=9)
    expected_clip = [effect.render(jobs[0][0], frame_number=n, width=5 + n) for n in range(24)]
    with ThreadPoolExecutor(6) as pool:
        for _ in range(3):
            got = list(pool.map(lambda fv: vellora.render(fv[0], threads=1, **fv[1]), jobs))
            for i, (g, e) in enumerate(zip(got, expected)):
                assert same_bytes(g, e), f"job {i}"
            clip = list(pool.map(lambda n: effect.render(jobs[0][0], frame_number=n, width=5 + n), range(24)))
            for n, (g, e) in enumerate(zip(clip, expected_clip)):
                assert same_bytes(g, e), f"clip frame {n}"


def test_the_interpreter_is_free_while_rendering(vellora):
    """With a switch interval far longer than the render, a thread spinning in
    Python runs during it only if the render let go of the interpreter."""
    frame = np.zeros((600, 800, 4), np.float32)
    counter = [0]
    stop = threading.Event()

    def spin():
        while not stop.is_set():
            counter[0] += 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(2.0)
    spinner = threading.Thread(target=spin)
    try:
        spinner.start()
        before = counter[0]
        vellora.render(frame, threads=1, feather=200, falloff="gaussian")
        during = counter[0] - before
    finally:
        stop.set()
        sys.setswitchinterval(interval)
        spinner.join()
    assert during > 1000


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


@pytest.mark.skipif(os.environ.get("VELLORA_SANITIZED") == "1",
                    reason="AddressSanitizer holds freed memory in quarantine")
def test_memory_stays_flat(vellora):
    frame = random_frame(np.random.default_rng(5), "uint16", 64, 96)
    refs = sys.getrefcount(frame)

    def calls(n):
        for i in range(n):
            vellora.render(frame, host="ae", width=10 + i % 50, feather=5)
            vellora.render(frame.astype(np.float32) / 65535, downsample=2, origin=(i % 90, 30))
            if i % 10 == 0:
                vellora.overlay(frame, width=30)
                vellora.Effect(keys={"width": [{"frame": 0, "value": 3}, {"frame": 9, "value": 40}]}).render(
                    frame, frame_number=i % 10)
            try:
                vellora.render(frame, falloff="sinc")
            except ValueError:
                pass
        gc.collect()

    calls(300)  # pools, caches and the allocator settle
    settled = resident_bytes()
    calls(2000)
    grown = resident_bytes() - settled
    assert grown < 4 * 2**20, f"grew {grown} bytes over 2000 rounds"
    assert sys.getrefcount(frame) == refs
