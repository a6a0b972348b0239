#!/usr/bin/env python3
"""Name statistics of a zw-mkimage manifest: what the index will hold.

    tools/mkimage/name_stats.py IMAGE.manifest

Counts the listed entries (folders and files, not extra hard-link names or
deleted files). Lengths are UTF-16 code units, as NTFS stores them; a capital
is an ASCII A-Z, the only letters the search folds.
"""
import sys


def units(s):
    return len(s.encode("utf-16-le")) // 2


def main(path):
    n = total = capital = non_ascii = 0
    folders = folder_units = folders_60_120 = 0
    longest = 0
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 5 or fields[0] not in ("D", "F"):
                continue
            name = fields[4].rsplit("\\", 1)[-1]
            u = units(name)
            n += 1
            total += u
            longest = max(longest, u)
            capital += any("A" <= c <= "Z" for c in name)
            non_ascii += any(ord(c) > 0x7F for c in name)
            if fields[0] == "D":
                folders += 1
                folder_units += u
                folders_60_120 += 60 <= u <= 120
    if n == 0:
        sys.exit(f"{path}: no entries")
    print(f"entries {n:,}, folders {folders:,}")
    print(f"mean code units {total / n:.1f} (longest {longest})")
    print(f"with an ASCII capital {100 * capital / n:.1f}%")
    print(f"with non-ASCII {100 * non_ascii / n:.1f}%")
    if folders:
        print(f"folder names: mean {folder_units / folders:.1f} code units, "
              f"{100 * folders_60_120 / folders:.1f}% of 60 to 120 ({folders_60_120:,})")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: name_stats.py IMAGE.manifest")
    main(sys.argv[1])
