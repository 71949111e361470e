"""Drawings for the end-to-end tests and the benchmark, written and read back by ezdxf.

  drawings.py write <kind> <path>                   kind: r12 (GBK), r2000 (GBK), r2018 (UTF-8)
  drawings.py bench <path> <matching> <others>      R2000 GBK drawing for the benchmark
  drawings.py dump <path>                           one JSON line per entity of every layout
"""
import json
import sys

import ezdxf

# (layer, text, height, insertion point)
TEXTS = [
    ("标注", "图号 旧文本-01", 2.5, (0, 10)),
    ("标注", "旧文本", 3.0, (0, 40)),
    ("TEXT", "Hello 旧文本 World", 3.0, (0, 20)),
    ("TEXT", "Plain English", 3.0, (0, 30)),
    ("0", "旧文本旧文本", 5.0, (10, 50)),
]


def new_document(kind):
    version = {"r12": "R12", "r2000": "R2000", "r2018": "R2018"}[kind]
    doc = ezdxf.new(version)
    if kind != "r2018":
        doc.encoding = "gbk"
    for name in ("标注", "TEXT"):
        doc.layers.add(name)
    return doc


def write(kind, path):
    doc = new_document(kind)
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 0))
    msp.add_circle((50, 50), 20, dxfattribs={"layer": "标注"})
    for layer, text, height, point in TEXTS:
        msp.add_text(text, dxfattribs={"layer": layer, "height": height}).set_placement(point)
    if kind != "r12":
        mtext = msp.add_mtext("旧文本 多行", dxfattribs={"layer": "标注", "char_height": 3})
        mtext.set_location((0, 80))
        doc.layout("Layout1").add_text(
            "旧文本 图框", dxfattribs={"layer": "标注", "height": 4}).set_placement((5, 5))
    doc.saveas(path)


def bench(path, matching, others):
    doc = new_document("r2000")
    msp = doc.modelspace()
    kinds = ("line", "circle", "arc", "polyline", "text")
    for i in range(others):
        x, y = (i % 100) * 10.0, (i // 100) * 10.0
        kind = kinds[i % len(kinds)]
        if kind == "line":
            msp.add_line((x, y), (x + 8, y + 3), dxfattribs={"layer": "TEXT"})
        elif kind == "circle":
            msp.add_circle((x, y), 3)
        elif kind == "arc":
            msp.add_arc((x, y), 4, 0, 90)
        elif kind == "polyline":
            msp.add_lwpolyline([(x, y), (x + 5, y), (x + 5, y + 5)])
        else:
            msp.add_text(f"Room {i}", dxfattribs={"layer": "TEXT", "height": 2})\
                .set_placement((x, y))
    for i in range(matching):
        msp.add_text(f"旧文本 {i}", dxfattribs={"layer": "标注", "height": 2.5})\
            .set_placement((i % 50 * 20.0, -10.0 - i // 50 * 5.0))
    doc.saveas(path)


def dump(path):
    doc = ezdxf.readfile(path)
    for layout in doc.layouts:
        for e in layout:
            record = {"space": layout.name, "type": e.dxftype(), "handle": e.dxf.handle,
                      "layer": e.dxf.layer}
            if e.dxftype() == "TEXT":
                record.update(text=e.dxf.text, height=e.dxf.height,
                              halign=e.dxf.get("halign", 0), valign=e.dxf.get("valign", 0))
            elif e.dxftype() == "MTEXT":
                record.update(text=e.text)
            print(json.dumps(record, ensure_ascii=False))


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "write":
        write(sys.argv[2], sys.argv[3])
    elif command == "bench":
        bench(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif command == "dump":
        dump(sys.argv[2])
    else:
        sys.exit("unknown command " + command)
