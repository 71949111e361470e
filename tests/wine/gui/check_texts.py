"""Checks, with ezdxf, one drawing a batch run saved against the file it replaced.

  check_texts.py <options> <find> <replacement> <before> <after>

<options>: "plain", "exact", or comma-separated layer=<name>, height=<number>, align=mc.
Every single-line text that the options select and that holds <find> must hold the replacement
(every occurrence, or the whole text with "exact"), with the new height and justification; every
other entity must be as it was.
"""
import collections
import sys

import ezdxf

JUSTIFICATIONS = {"mc": (1, 2)}  # DXF groups 72 and 73: centre, middle


def parse(options):
    wanted = {}
    for option in options.split(","):
        key, _, value = option.partition("=")
        wanted[key] = value
    return wanted


def texts(path):
    doc = ezdxf.readfile(path)
    rows, others = [], collections.Counter()
    for layout in doc.layouts:
        for e in layout:
            if e.dxftype() == "TEXT":
                rows.append((layout.name, e.dxf.layer, e.dxf.text, round(e.dxf.height, 6),
                             e.dxf.get("halign", 0), e.dxf.get("valign", 0)))
            else:
                text = e.text if e.dxftype() == "MTEXT" else ""
                others[(layout.name, e.dxftype(), e.dxf.layer, text)] += 1
    return sorted(rows), others


def expected(rows, wanted, find, replacement):
    result = []
    for layout, layer, text, height, halign, valign in rows:
        chosen = text == find if "exact" in wanted else find in text
        if "layer" in wanted and layer != wanted["layer"]:
            chosen = False
        if chosen:
            text = replacement if "exact" in wanted else text.replace(find, replacement)
            if "height" in wanted:
                height = round(float(wanted["height"]), 6)
            if "align" in wanted:
                halign, valign = JUSTIFICATIONS[wanted["align"]]
        result.append((layout, layer, text, height, halign, valign))
    return sorted(result)


def main(options, find, replacement, before, after):
    wanted = parse(options)
    rows_before, others_before = texts(before)
    rows_after, others_after = texts(after)
    want = expected(rows_before, wanted, find, replacement)
    if want == rows_before:
        sys.exit(f"{before}: nothing for the options to change")
    if rows_after != want:
        sys.exit(f"{after}: texts\n  {rows_after}\nexpected\n  {want}")
    if others_after != others_before:
        sys.exit(f"{after}: other entities changed: {others_after} against {others_before}")
    print(f"{after}: {sum(a != b for a, b in zip(rows_before, want))} text(s) changed as asked")


if __name__ == "__main__":
    main(*sys.argv[1:])
