"""What the benchmark scripts share: running a timed process and writing GDSII records.

Scripts in the folders below import it after putting this folder on sys.path.
"""
import collections
import os
import struct
import subprocess
import sys
import tempfile
import time

Run = collections.namedtuple("Run", "wall cpu rss_mib out")


def run_process(cmd):
    """Runs cmd to its end; wall and CPU seconds (user + system), peak RSS in MiB and stdout.
    Exits the script with the command's messages when it fails."""
    with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=out_file, stderr=err_file)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        out_file.seek(0)
        err_file.seek(0)
        out = out_file.read().decode(errors="replace")
        err = err_file.read().decode(errors="replace")
    if status != 0:
        sys.exit(f"command failed ({status}): {' '.join(cmd)}\n{err}")
    return Run(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, out)


def rec(rtype, dtype, payload=b""):
    """One GDSII record."""
    return struct.pack(">HBB", 4 + len(payload), rtype, dtype) + payload


def name_rec(rtype, text):
    """A GDSII string record, padded to an even length."""
    data = text.encode()
    if len(data) % 2:
        data += b"\0"
    return rec(rtype, 6, data)


def real8(x):
    """GDSII excess-64 base-16 real."""
    if x == 0:
        return b"\0" * 8
    sign = 0x80 if x < 0 else 0
    x = abs(x)
    exp = 64
    while x >= 1:
        x /= 16
        exp += 1
    while x < 1 / 16:
        x *= 16
        exp -= 1
    mant = int(round(x * (1 << 56)))
    if mant >= 1 << 56:
        mant >>= 4
        exp += 1
    return bytes([sign | exp]) + mant.to_bytes(7, "big")
