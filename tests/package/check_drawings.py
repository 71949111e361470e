"""Checks the drawings a batch run saved, with ezdxf: in every drawing the single-line texts that
held the text to find now hold its replacement, the drawing keeps all its other entities (in any
order: a replaced text may come back as a new entity at the end), and the previous file was kept
as <name>.bak.

  check_drawings.py <folder> <find> <replacement>
"""
import pathlib
import sys

import ezdxf


def text_of(entity):
    kind = entity.dxftype()
    return entity.dxf.text if kind == "TEXT" else entity.text if kind == "MTEXT" else ""


def texts(doc):
    return [(e.dxftype(), e.dxf.layer, text_of(e)) for layout in doc.layouts for e in layout]


def main(folder, find, replacement):
    drawings = sorted(pathlib.Path(folder).glob("*.dwg"))
    if not drawings:
        sys.exit(f"no drawings in {folder}")
    for drawing in drawings:
        before = texts(ezdxf.readfile(drawing.with_suffix(".bak")))
        after = sorted(texts(ezdxf.readfile(drawing)))
        expected = sorted([(kind, layer, text.replace(find, replacement) if kind == "TEXT" else text)
                    for kind, layer, text in before])
        if not any(find in text for kind, _, text in before if kind == "TEXT"):
            sys.exit(f"{drawing.name}: the previous file has no text to replace")
        if after != expected:
            sys.exit(f"{drawing.name}: saved {after}, expected {expected}")
        print(f"{drawing.name}: {ezdxf.readfile(drawing).dxfversion}, "
              f"{sum(find in t for _, _, t in before)} text(s) replaced, {len(after)} entities kept")


if __name__ == "__main__":
    main(*sys.argv[1:])
