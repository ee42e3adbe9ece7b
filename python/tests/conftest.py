"""Shared by the package's tests: the project's vector files (tests/data/**.vec),
the key blobs of the ciphers and the property tests' budget."""
import os
import pathlib
import re
import threading

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
# hypothesis keeps its caches under the build folder, not in the working directory.
os.environ.setdefault("HYPOTHESIS_STORAGE_DIRECTORY", str(ROOT / "build" / "hypothesis"))
from hypothesis import HealthCheck, settings  # noqa: E402 - after its storage folder is set

DATA = pathlib.Path(os.environ.get("ORVO_TEST_DATA", ROOT / "tests" / "data"))
# The record count of every vector file, kept with the C++ reader: a file cut
# short or a record lost to a stray blank line fails here too.
COUNTS = dict(
    (name, int(count))
    for name, count in re.findall(r'\{"([^"]+\.vec)", (\d+)\}', (ROOT / "tests/support/vec_file.cpp").read_text())
)


class Record(dict):
    """One record: its fields, the [section] it is in, and where it starts."""

    def __init__(self, section, where):
        super().__init__()
        self.section = section
        self.where = where

    def bytes(self, name):
        return bytes.fromhex(self[name])

    def number(self, name):
        return int(self[name], 0)


def read_vec(relative):
    """The records of tests/data/<relative>, as the C++ tests read them."""
    path = DATA / relative
    lines = path.read_text().splitlines()
    assert lines and lines[0].startswith("# Source: "), f"{relative}:1: no '# Source: ' line"
    records, section, current = [], "", None
    for number, raw in enumerate(lines, 1):
        line = raw.strip()
        if not line or (line.startswith("[") and line.endswith("]")):
            if current:
                records.append(current)
            current = None
            if line:
                section = line[1:-1]
            continue
        if line.startswith("#"):
            continue
        name, sep, value = line.partition("=")
        assert sep, f"{relative}:{number}: no '='"
        if current is None:
            current = Record(section, f"{relative}:{number}")
        current[name.strip()] = value.strip()
    if current:
        records.append(current)
    assert len(records) == COUNTS[relative], f"{relative}: {len(records)} records, expected {COUNTS[relative]}"
    return records


def key_blob(cipher, key):
    """The key blob of `key` for the cipher: the 4-byte count, then the key."""
    count = {"aes": {16: 10, 24: 12, 32: 14}.get(len(key)), "twofish": len(key) // 8, "blowfish": len(key)}[cipher]
    return count.to_bytes(4, "big") + key


def run_in_threads(work, count):
    """Calls work(0) ... work(count - 1) on threads of their own, all at once."""
    threads = [threading.Thread(target=work, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


@pytest.fixture(scope="session")
def vec():
    return read_vec


# The property tests (test_properties.py) run with a fixed seed and a small
# budget in every test run, so a failure repeats; ORVO_HYPOTHESIS_PROFILE=campaign
# runs them from fresh random seeds with ORVO_HYPOTHESIS_SCALE (default 10)
# times the examples. No example database is kept: a failure prints the
# reproducing blob instead.
settings.register_profile(
    "ci",
    derandomize=True,
    deadline=None,
    database=None,
    print_blob=True,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)
settings.register_profile("campaign", settings.get_profile("ci"), derandomize=False)
PROFILE = os.environ.get("ORVO_HYPOTHESIS_PROFILE", "ci")
settings.load_profile(PROFILE)
SCALE = int(os.environ.get("ORVO_HYPOTHESIS_SCALE", "10")) if PROFILE == "campaign" else 1


def budget(examples):
    """The settings of a property test: `examples` examples, SCALE times that in a campaign."""
    return settings(max_examples=examples * SCALE)
