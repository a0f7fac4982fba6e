#!/usr/bin/python3
"""What a call of vellora.render adds over the same render without Python, at
1080p, in one process: the floor (libvellora_python_floor.so, the module's own
host pool rendering into memory of the results' kind made once, called through ctypes) and the
Python call alternate, call by call, on the same frame and values, so drift
and noise fall on both alike. Reports each one's median and the overhead;
target: at most 5 %.
   bench/python/python_overhead.py [BUILD] [--rounds N] [--threads N]"""
import argparse
import ctypes
import json
import os
import pathlib
import platform
import statistics
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
VALUES = dict(width=900, height=600, feather=200, falloff="gaussian", angle=20, origin=(1000, 500))
# (dtype, floor's type code, host, mid-grey)
CASES = [("uint8", 0, "premiere", 128), ("uint8", 0, "ae", 128), ("uint16", 1, "ae", 32768),
         ("uint16", 1, "premiere", 32768), ("float32", 2, "premiere", 0.5)]


def load_floor(build):
    lib = ctypes.CDLL(str(build / "bench" / "libvellora_python_floor.so"))
    lib.vellora_floor_open.restype = ctypes.c_void_p
    lib.vellora_floor_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.vellora_floor_render.restype = ctypes.c_void_p
    lib.vellora_floor_render.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int, ctypes.c_int,
                                         ctypes.c_int, ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
    lib.vellora_floor_close.argtypes = [ctypes.c_void_p]
    return lib


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default=str(ROOT / "build"))
    parser.add_argument("--rounds", type=int, default=60)
    parser.add_argument("--threads", type=int, default=0)
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    sys.path.insert(0, str(build / "python"))
    import numpy as np
    import vellora

    lib = load_floor(build)
    error = ctypes.create_string_buffer(512)
    params = json.dumps({k: list(v) if isinstance(v, tuple) else v for k, v in VALUES.items()})
    floor = lib.vellora_floor_open(params.encode(), error, len(error))
    if not floor:
        raise SystemExit(f"floor: {error.value.decode()}")
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
               platform.processor())
    print(f"# {cpu}, {os.cpu_count()} cores, load {os.getloadavg()[0]:.2f}; 1920x1080, threads {args.threads}, "
          f"{args.rounds} renders each, alternating")
    print(f"{'case':<18}{'floor ms':>10}{'python ms':>11}{'overhead':>10}")
    worst = -1.0
    for dtype, code, host, grey in CASES:
        frame = np.full((1080, 1920, 4), grey, dtype)

        def floor_call():
            result = lib.vellora_floor_render(floor, code, host.encode(), 1920, 1080, args.threads,
                                              frame.ctypes.data, error, len(error))
            if not result:
                raise SystemExit(f"floor: {error.value.decode()}")
            return result

        def python_call():
            vellora.render(frame, host=host, threads=args.threads, **VALUES)

        python_call()  # hosts made, memory warm
        expected = vellora.render(frame, host=host, **VALUES).tobytes()
        assert ctypes.string_at(floor_call(), frame.nbytes) == expected, "the floor renders otherwise"
        times = {floor_call: [], python_call: []}
        for _ in range(args.rounds):
            for call in (floor_call, python_call):
                start = time.perf_counter()
                call()
                times[call].append((time.perf_counter() - start) * 1000)
        f, c = statistics.median(times[floor_call]), statistics.median(times[python_call])
        worst = max(worst, c / f - 1)
        print(f"{dtype + ' ' + host:<18}{f:>10.3f}{c:>11.3f}{(c / f - 1) * 100:>9.1f}%")
    lib.vellora_floor_close(floor)
    print(f"# worst overhead {worst * 100:.1f}% (target at most 5%)")


if __name__ == "__main__":
    main()
