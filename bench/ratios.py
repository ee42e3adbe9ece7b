#!/usr/bin/env python3
"""Ratios of our benchmark rows to the best peer, from orvo_bench's JSON output.

Rows are named <Family>/<impl>/<operation>[/<bytes>] (see bench/README.md).
For every (Family, operation, bytes) with an `orvo` row and at least one peer
row, prints ours, the best peer and ours / best: throughput for rows that
process bytes, calls per second (1 / CPU time) otherwise; 1.0 or more means
we lead. Forced paths of ours (`orvo-<path>`) are shown under their group.
Then: groups of ours without a peer, the scripting path's frame cost (the
Invoke family), and the rows that follow no convention ("unpaired").

With --without-avx512 FILE, the results of a second run on the same machine
with VAES and AVX-512 hidden from ours and from the peers (bench/run makes it)
add a second set of columns: ours, the best peer and the ratio as a server
without them sees them.

  python3 bench/ratios.py results.json             # plain text
  python3 bench/ratios.py --markdown results.json  # tables for bench/README.md
  python3 bench/ratios.py --markdown results.json --without-avx512 no-avx512.json
Standard library only.
"""

import argparse
import json
import re
import statistics
import sys

PEERS = ("openssl", "nettle", "gcrypt", "cryptopp", "gmp", "zlib")
# CPU flags the product's paths or the peers' choose on.
FLAGS = ("aes", "vaes", "pclmulqdq", "vpclmulqdq", "sha_ni", "avx2", "avx512f", "avx512vl", "avx512bw",
         "avx512ifma", "bmi2", "adx")
TIME_UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def cpu_description(path="/proc/cpuinfo"):
    """The CPU's model name, the flags of FLAGS it has and those it lacks."""
    model, flags = "unknown CPU", set()
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                key, _, value = line.partition(":")
                key = key.strip()
                if key == "model name" and model == "unknown CPU":
                    model = value.strip()
                elif key == "flags" and not flags:
                    flags = set(value.split())
    except OSError:
        pass
    return model, [f for f in FLAGS if f in flags], [f for f in FLAGS if f not in flags]


def split_name(name):
    """(family, impl, operation, bytes) for a conventional row name, else None.

    Google Benchmark's own suffixes ("iterations:1", "real_time", ...) are dropped.
    """
    parts = [p for p in name.split("/") if ":" not in p and p not in ("real_time", "manual_time")]
    if len(parts) < 3 or not all(parts):
        return None
    family, impl = parts[0], parts[1]
    rest = parts[2:]
    size = None
    if len(rest) >= 2 and rest[-1].isdigit():
        size = int(rest[-1])
        rest = rest[:-1]
    if not re.fullmatch(r"[A-Za-z][A-Za-z0-9_-]*", family) or not re.fullmatch(r"[a-z0-9][a-z0-9_-]*", impl):
        return None
    return family, impl, "/".join(rest), size


def is_ours(impl):
    return impl == "orvo" or impl.startswith("orvo-")


class Row:
    """One benchmark's figure: bytes per second when it processes bytes, else CPU seconds per call."""

    def __init__(self, name, records):
        self.name = name
        throughputs = [r["bytes_per_second"] for r in records if r.get("bytes_per_second")]
        seconds = [r["cpu_time"] * TIME_UNITS.get(r.get("time_unit", "ns"), 1e-9) for r in records]
        self.bytes_per_second = statistics.median(throughputs) if throughputs else None
        self.seconds = statistics.median(seconds)
        # Memory figures a row reports ("extra_KiB"), shown instead of its time.
        self.memory = {k: v for k, v in records[0].items() if k.endswith("_KiB") and isinstance(v, (int, float))}

    def rate(self):
        """Higher is better: bytes per second, or calls per second."""
        if self.bytes_per_second:
            return self.bytes_per_second
        return 1.0 / self.seconds if self.seconds > 0 else 0.0

    def figure(self):
        if self.memory:
            return " ".join(f"{k}={v:.0f}" for k, v in sorted(self.memory.items()))
        if self.bytes_per_second:
            return format_rate(self.bytes_per_second)
        return format_time(self.seconds)


def format_rate(bps):
    for unit, scale in (("GB/s", 1e9), ("MB/s", 1e6), ("kB/s", 1e3)):
        if bps >= scale:
            return f"{bps / scale:.3g} {unit}"
    return f"{bps:.3g} B/s"


def format_time(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def load_rows(data):
    """Rows by name: the median aggregate where repetitions ran, else the median of the runs."""
    runs, medians = {}, {}
    for record in data.get("benchmarks", []):
        if record.get("error_occurred") or record.get("skipped"):
            continue
        name = record.get("run_name", record["name"])
        if record.get("run_type") == "aggregate":
            if record.get("aggregate_name") == "median":
                medians[name] = [record]
        else:
            runs.setdefault(name, []).append(record)
    names = list(dict.fromkeys(list(runs) + list(medians)))
    return [Row(name, medians.get(name) or runs[name]) for name in names]


def group_rows(rows):
    groups, unpaired = {}, []
    for row in rows:
        parts = split_name(row.name)
        if parts is None or not (is_ours(parts[1]) or parts[1] in PEERS or parts[0] == "Invoke"):
            unpaired.append(row)
            continue
        family, impl, operation, size = parts
        groups.setdefault((family, operation, size), {})[impl] = row
    for key in [key for key, impls in groups.items() if "orvo" not in impls]:
        unpaired += groups.pop(key).values()  # nothing of ours to set them against
    return groups, unpaired


def format_size(size):
    for unit, scale in (("MiB", 1 << 20), ("KiB", 1 << 10)):
        if size >= scale and size % scale == 0:
            return f"{size // scale} {unit}"
    return f"{size} B"


def label(key):
    family, operation, size = key
    return f"{family} {operation}" + (f" {format_size(size)}" if size is not None else "")


def compare(impls):
    """(best peer's name, its row, ours / best, {forced path: (row, ratio)}) for one group, or None."""
    peers = {impl: row for impl, row in impls.items() if impl in PEERS}
    if "orvo" not in impls or not peers:
        return None
    best_name, best = max(peers.items(), key=lambda item: item[1].rate())
    if best.rate() <= 0:
        return None
    forced = {impl: (row, row.rate() / best.rate()) for impl, row in impls.items() if impl.startswith("orvo-")}
    return best_name, best, impls["orvo"].rate() / best.rate(), forced


def ratio_lines(groups, other=None):
    """Per compared group: (label, ours, best peer, peer figure, ratio, forced paths, the same from `other`).

    forced paths: (impl, row, ratio, the other run's (row, ratio) or None); the
    other run's figures: (ours, best peer's name, its row, ratio) or None.
    """
    out = []
    for key, impls in groups.items():
        here = compare(impls)
        if here is None:
            continue
        best_name, best, ratio, forced = here
        there = compare(other.get(key, {})) if other is not None else None
        other_forced = there[3] if there else {}
        paths = [(impl, row, r, other_forced.get(impl)) for impl, (row, r) in sorted(forced.items())]
        other_line = (other[key]["orvo"], there[0], there[1], there[2]) if there else None
        out.append((label(key), impls["orvo"], best_name, best, ratio, paths, other_line))
    return out


def frame_lines(groups):
    """The Invoke family: per operation, the call through Invoke, the dual interface, the core alone."""
    out = []
    for key, impls in groups.items():
        if key[0] != "Invoke" or "orvo" not in impls:
            continue
        invoke = impls["orvo"].seconds
        vtable = impls.get("vtable")
        direct = impls.get("direct")
        out.append((key[1], invoke, vtable.seconds if vtable else None, direct.seconds if direct else None))
    return out


def render(data, markdown, without=None):
    model, have, lack = cpu_description()
    groups, unpaired = group_rows(load_rows(data))
    other = group_rows(load_rows(without))[0] if without is not None else None
    ratios = ratio_lines(groups, other)
    compared = {line[0] for line in ratios}
    no_peer = [(label(key), impls["orvo"]) for key, impls in groups.items()
               if key[0] != "Invoke" and "orvo" in impls and label(key) not in compared]
    frames = frame_lines(groups)
    na = "-"
    lines = []
    if markdown:
        lines += [f"CPU: {model}; flags: {' '.join(have) or 'none'}"
                  + (f" (absent: {' '.join(lack)})" if lack else ""), ""]
        if other is None:
            lines += ["| benchmark | ours | best peer | peer | ours / best |", "|---|---|---|---|---|"]
        else:
            lines += ["| benchmark | ours | best peer | peer | ours / best "
                      "| ours, no AVX-512 | best peer | peer | ours / best |",
                      "|---|---|---|---|---|---|---|---|---|"]
        for name, ours, best_name, best, ratio, forced, there in ratios:
            cells = f"| {name} | {ours.figure()} | {best_name} | {best.figure()} | {ratio:.2f} |"
            if other is not None:
                cells += (f" {there[0].figure()} | {there[1]} | {there[2].figure()} | {there[3]:.2f} |" if there
                          else f" {na} | | | |")
            lines.append(cells)
            for impl, row, r, then in forced:
                cells = f"| &nbsp;&nbsp;{impl} | {row.figure()} | | | {r:.2f} |"
                if other is not None:
                    cells += f" {then[0].figure()} | | | {then[1]:.2f} |" if then else f" {na} | | | |"
                lines.append(cells)
        if no_peer:
            lines += ["", "No peer in this run:", "", "| benchmark | ours |", "|---|---|"]
            lines += [f"| {name} | {row.figure()} |" for name, row in no_peer]
        if frames:
            lines += ["", "The scripting path (CPU time per call):", "",
                      "| call | Invoke | dual interface | core alone | frame adds |", "|---|---|---|---|---|"]
            for op, invoke, vtable, direct in frames:
                lines.append(f"| {op} | {format_time(invoke)} | {format_time(vtable) if vtable else na} | "
                             f"{format_time(direct) if direct else na} | "
                             f"{format_time(invoke - direct) if direct is not None else na} |")
    else:
        lines += [f"CPU: {model}", f"flags: {' '.join(have) or 'none'}" + (f"   absent: {' '.join(lack)}" if lack else ""),
                  "", "Ours against the best peer (ratio >= 1.00: we lead)"]
        width = max([len(line[0]) for line in ratios] + [10]) + 2
        head = f"{'benchmark':<{width}}{'ours':>12}  {'best peer':<10}{'peer':>12}  {'ratio':>6}"
        if other is not None:
            head += f"   | no AVX-512: {'ours':>10}  {'best peer':<10}{'peer':>12}  {'ratio':>6}"
        lines.append(head)
        for name, ours, best_name, best, ratio, forced, there in ratios:
            line = f"{name:<{width}}{ours.figure():>12}  {best_name:<10}{best.figure():>12}  {ratio:>6.2f}"
            if there:
                line += f"   | {'':<12}{there[0].figure():>10}  {there[1]:<10}{there[2].figure():>12}  {there[3]:>6.2f}"
            lines.append(line)
            for impl, row, r, then in forced:
                line = f"{'  ' + impl:<{width}}{row.figure():>12}  {'':<10}{'':>12}  {r:>6.2f}"
                if then:
                    line += f"   | {'':<12}{then[0].figure():>10}  {'':<10}{'':>12}  {then[1]:>6.2f}"
                lines.append(line)
        if no_peer:
            lines += ["", "No peer in this run:"]
            lines += [f"  {name:<{width}}{row.figure():>12}" for name, row in no_peer]
        if frames:
            lines += ["", "The scripting path, CPU time per call (Invoke, dual interface, core alone, frame adds):"]
            for op, invoke, vtable, direct in frames:
                lines.append(f"  {op:<22}{format_time(invoke):>10}{format_time(vtable) if vtable else na:>10}"
                             f"{format_time(direct) if direct else na:>10}"
                             f"{format_time(invoke - direct) if direct is not None else na:>10}")
    if unpaired:
        lines += ["", "Unpaired (not <Family>/<impl>/<operation>[/<bytes>], or no orvo row beside them): " + ", ".join(row.name for row in unpaired)]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results", help="orvo_bench --benchmark_out=FILE --benchmark_out_format=json")
    parser.add_argument("--markdown", action="store_true", help="Markdown tables, as bench/README.md keeps them")
    parser.add_argument("--without-avx512", metavar="FILE",
                        help="a second run's JSON with VAES and AVX-512 hidden from ours and the peers (bench/run)")
    args = parser.parse_args(argv)
    with open(args.results, encoding="utf-8") as f:
        data = json.load(f)
    without = None
    if args.without_avx512:
        with open(args.without_avx512, encoding="utf-8") as f:
            without = json.load(f)
    print(render(data, args.markdown, without))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
