#!/usr/bin/env python3
"""Prints a Wine prefix's registry as sorted lines, one per key and one per
value ("HKLM\\key" and "HKLM\\key\\\\name=data"), without the times Wine keeps
with each key, so that two states of a prefix compare with diff or comm.
The registry files are read as the wineserver saved them: wait for it to end
(wineserver -w) first. Usage: registry_state.py PREFIX"""
import sys

HIVES = (("system.reg", "HKLM"), ("user.reg", "HKCU"), ("userdef.reg", "HKU\\.Default"))


def lines_of(path, hive):
    out = []
    key = None
    pending = ""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if pending:
                line = pending + line.lstrip()
                pending = ""
            if line.startswith("["):
                # [Software\\Classes\\CLSID] 1796934208: the key, then its time.
                key = hive + "\\" + line[1:line.rindex("]")].replace("\\\\", "\\")
                out.append(key)
            elif key is None or not line or line[0] in "#;":
                continue
            elif line.endswith("\\"):
                pending = line[:-1]  # hex:00,01,\ continues on the next line
            else:
                out.append(key + "\\\\" + line.strip())
    return out


def main():
    prefix = sys.argv[1]
    result = set()
    for name, hive in HIVES:
        for line in lines_of(prefix + "/" + name, hive):
            result.add(line)
            # Wine writes a key with subkeys and no values only through its
            # subkeys: every key's parents are keys too.
            key = line.split("\\\\")[0].split("\\")
            for n in range(2, len(key)):
                result.add("\\".join(key[:n]))
    sys.stdout.write("".join(line + "\n" for line in sorted(result)))


if __name__ == "__main__":
    main()
