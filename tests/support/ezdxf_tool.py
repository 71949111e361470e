"""The one ezdxf reference for the tests: drawings written, and results read back, by an
independent DXF implementation.

  ezdxf_tool.py write <kind> <path>    one drawing; kinds:
      r12, r2000 (GBK), r2018 (UTF-8)       texts to replace, model and paper space
      sample (R2000, GBK), sample-r12, sample-r2018, lastline, layers, nested, longtext
                                            drawings for the cad-host tests
  ezdxf_tool.py bench <path> <matching> <others>   R2000 GBK drawing for the benchmark
  ezdxf_tool.py make <folder>          the drawings of the DXF engine tests
  ezdxf_tool.py make-kinds <folder>    drawings with every kind of text
  ezdxf_tool.py dump <path>            every entity and text in detail, tab-separated
  ezdxf_tool.py entities <path>        one tab-separated line per entity of every layout
  ezdxf_tool.py texts <path>           every text of every kind, one line each
  ezdxf_tool.py check-run <folder> <find> <replacement>
      checks the drawings a batch run saved: in every drawing the TEXT entities that held <find>
      now hold <replacement>, all other entities are kept (in any order: a replaced text may
      come back as a new entity at the end), and the previous file was kept as <name>.bak
"""
import math
import pathlib
import re
import sys

import ezdxf


def add_common(doc, texts):
    msp = doc.modelspace()
    if "TEXTS" not in doc.layers:
        doc.layers.add("TEXTS")
    doc.layers.add("LINES", color=1)
    doc.layers.add("NOTES", color=3).off()
    msp.add_line((0, 0), (100, 50), dxfattribs={"layer": "LINES"})
    msp.add_circle((50, 50), 20)
    msp.add_arc((10, 10), 5, 0, 90)
    if doc.dxfversion > "AC1009":
        msp.add_lwpolyline([(0, 0), (10, 0), (10, 10)], close=True)
    else:
        msp.add_polyline2d([(0, 0), (10, 0), (10, 10)], close=True)
    for i, text in enumerate(texts):
        msp.add_text(text, dxfattribs={"layer": "TEXTS", "height": 2.5}).set_pos((10, 10 * i))
    msp.add_text("右对齐 right", dxfattribs={"layer": "TEXTS", "height": 3}).set_pos(
        (80, 5), align="MIDDLE_RIGHT")
    msp.add_text("other layer", dxfattribs={"layer": "NOTES", "height": 2}).set_pos((0, -20))
    block = doc.blocks.new("TITLE", base_point=(5, 7.5, 0))
    block.add_text("inside block", dxfattribs={"height": 2})
    block.add_line((0, 0), (5, 5))
    msp.add_blockref("TITLE", (200, 200))
    paper = doc.layout("Layout1")
    paper.add_text("paper text", dxfattribs={"layer": "TEXTS", "height": 3.5}).set_pos((20, 20))


def make(folder):
    texts = ["Hello OLD world", "OLD", "plain", "两个 OLD 字"]

    doc = ezdxf.new("R12")
    add_common(doc, texts[:3])
    doc.saveas(f"{folder}/r12.dxf")

    doc = ezdxf.new("R2000")
    doc.encoding = "gbk"
    add_common(doc, texts)
    msp = doc.modelspace()
    msp.add_mtext("多行文字 OLD\\P第二行", dxfattribs={"layer": "TEXTS", "char_height": 2.5})
    grouped = msp.add_text("grouped OLD", dxfattribs={"layer": "TEXTS", "height": 2})
    grouped.set_pos((0, 100))
    doc.groups.new("G1").extend([grouped, msp.query("LINE").first])
    with_dictionary = msp.add_text("dictionary OLD", dxfattribs={"layer": "TEXTS", "height": 2})
    with_dictionary.set_pos((0, 110))
    xdict = with_dictionary.new_extension_dict()
    xdict.add_dictionary_var("NOTE", "kept with the text")
    boundary = msp.add_lwpolyline([(200, 0), (210, 0), (210, 10)], close=True,
                                  dxfattribs={"layer": "BOUNDARY"})
    hatch = msp.add_hatch(color=3)
    path = hatch.paths.add_polyline_path([(200, 0), (210, 0), (210, 10)], is_closed=True)
    path.source_boundary_objects = [boundary.dxf.handle]
    hatch.dxf.associative = 1
    second = doc.layouts.new("Layout2")
    second.add_text("second layout OLD", dxfattribs={"layer": "TEXTS", "height": 3})
    doc.saveas(f"{folder}/r2000_gbk.dxf")

    doc = ezdxf.new("R2004")
    add_common(doc, texts[:3])
    doc.saveas(f"{folder}/r2004.dxf")

    doc = ezdxf.new("R2018")
    add_common(doc, texts + ["한국어 OLD ✓"])
    doc.modelspace().add_mtext("MTEXT {\\fArial|b1;OLD}", dxfattribs={"char_height": 2})
    doc.saveas(f"{folder}/r2018_utf8.dxf")


def decode_escapes(text):
    def pair(match):
        high, low = int(match.group(1), 16), int(match.group(2), 16)
        return chr(0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00))
    text = re.sub(r"\\[Uu]\+(D[89AB][0-9A-Fa-f]{2})\\[Uu]\+(D[C-F][0-9A-Fa-f]{2})", pair, text)
    return re.sub(r"\\[Uu]\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), text)


def number(value):
    return "%.6f" % value


def owner_name(doc, entity):
    owner = doc.entitydb.get(entity.dxf.owner)
    if owner is None:
        return "?"
    return owner.dxf.name


def dump(path):
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    print("AUDIT\t%d\t%d" % (len(auditor.errors), len(auditor.fixes)))
    for error in auditor.errors:
        print("AUDITERROR\t%s" % error.message)
    print("ENCODING\t%s" % doc.encoding)
    for block in doc.blocks:
        for entity in block:
            attribs = entity.dxfattribs()
            attribs.pop("handle", None)
            attribs.pop("owner", None)
            print("ENTITY\t%s\t%s\t%s\t%s" % (entity.dxf.handle, entity.dxftype(), block.name,
                                              sorted((k, str(v)) for k, v in attribs.items())))
            if entity.dxftype() == "TEXT":
                align = entity.dxf.get("align_point")
                print("TEXT\t%s\t%s\t%s\t%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s" % (
                    entity.dxf.handle, block.name, entity.dxf.layer, number(entity.dxf.height),
                    entity.dxf.halign, entity.dxf.valign, number(entity.dxf.insert.x),
                    number(entity.dxf.insert.y), number(align.x) if align else "",
                    number(align.y) if align else "", decode_escapes(entity.dxf.text)))
        for entity in block.query("HATCH"):
            sources = [h for p in entity.paths for h in p.source_boundary_objects]
            print("HATCH\t%s\t%s" % (entity.dxf.handle, " ".join(sources)))
    for name, group in doc.groups:
        print("GROUP\t%s\t%s" % (name, " ".join(e.dxf.handle for e in group)))


LONG_MTEXT = "".join("第%d段 OLD 文字 {\\C%d;OLD} " % (i, i % 7 + 1) for i in range(40))


def add_kinds(doc, label):
    msp = doc.modelspace()
    doc.layers.add("TEXTS")
    msp.add_text("single OLD " + label, dxfattribs={"layer": "TEXTS", "height": 2.5})
    msp.add_text("untouched", dxfattribs={"layer": "OTHER", "height": 2.5})
    block = doc.blocks.new("TAG")
    block.add_text("block text OLD", dxfattribs={"height": 2})
    block.add_attdef("NAME", (0, -5), "default OLD", dxfattribs={"height": 2})
    ref = msp.add_blockref("TAG", (100, 100))
    ref.add_attrib("NAME", "value OLD 值", (100, 95), dxfattribs={"height": 2})
    dim = msp.add_linear_dim(base=(0, 20), p1=(0, 0), p2=(50, 0), text="<> OLD mm",
                             dxfattribs={"layer": "TEXTS"})
    dim.render()
    msp.add_linear_dim(base=(0, 40), p1=(0, 0), p2=(30, 0)).render()
    if doc.dxfversion > "AC1009":
        doc.layouts.new("布局二").add_text("paper OLD", dxfattribs={"layer": "TEXTS"})
        msp.add_mtext("前 {\\fArial|b1;OLD} 后\\P第二行 O{\\C1;LD}",
                      dxfattribs={"layer": "TEXTS", "char_height": 2.5})
        msp.add_mtext(LONG_MTEXT, dxfattribs={"layer": "TEXTS", "char_height": 2})
        block.add_mtext("block mtext OLD", dxfattribs={"char_height": 2})


def make_kinds(folder):
    doc = ezdxf.new("R12")
    add_kinds(doc, "r12")
    doc.saveas(f"{folder}/r12.dxf")
    doc = ezdxf.new("R2000")
    doc.encoding = "gbk"
    add_kinds(doc, "中文")
    doc.saveas(f"{folder}/r2000_gbk.dxf")
    doc = ezdxf.new("R2018")
    add_kinds(doc, "✓")
    doc.saveas(f"{folder}/r2018_utf8.dxf")


def texts(path):
    doc = ezdxf.readfile(path)
    print("AUDIT\t%d" % len(doc.audit().errors))
    for block in doc.blocks:
        for entity in block:
            kind = entity.dxftype()
            values = []
            if kind in ("TEXT", "ATTDEF"):
                values = [(kind, entity.dxf.handle, entity.dxf.text)]
            elif kind == "MTEXT":
                values = [(kind, entity.dxf.handle, entity.text)]
            elif kind == "DIMENSION":
                values = [(kind, entity.dxf.handle, entity.dxf.get("text", ""))]
            elif kind == "INSERT":
                values = [("ATTRIB", a.dxf.handle, a.dxf.text) for a in entity.attribs]
            for kind, handle, text in values:
                text = decode_escapes(text).replace("\n", "\\n")
                print("TEXT\t%s\t%s\t%s\t%s" % (kind, handle, block.name, text))


def add_texts(doc):
    msp = doc.modelspace()
    for name in ("标注", "TEXT"):
        doc.layers.add(name)
    msp.add_line((0, 0), (100, 0))
    msp.add_circle((50, 50), 20)
    if doc.dxfversion >= "AC1015":
        mtext = msp.add_mtext("旧文本 多行", dxfattribs={"layer": "标注", "char_height": 3})
        mtext.set_location((0, 80))
    msp.add_text("图号 旧文本-01", dxfattribs={"layer": "标注", "height": 2.5}).set_placement((0, 10))
    msp.add_text("Hello World", dxfattribs={"layer": "TEXT", "height": 3}).set_placement((0, 20))
    msp.add_text("旧文本", dxfattribs={"layer": "0", "height": 5}).set_placement((10, 30))


def write_layers(path):
    """A red square (0,0)-(100,100) on layer RED; a green circle on layer HIDDEN, which is off;
    block MARK, based at (10,10), inserted at the square's centre on layer BLUE."""
    doc = ezdxf.new("R2000")
    doc.layers.add("RED", color=1)
    doc.layers.add("HIDDEN", color=3).off()
    doc.layers.add("BLUE", color=5)
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0), (100, 0), (100, 100), (0, 100)], close=True,
                       dxfattribs={"layer": "RED"})
    msp.add_circle((25, 75), 10, dxfattribs={"layer": "HIDDEN"})
    mark = doc.blocks.new("MARK", base_point=(10, 10))
    mark.add_circle((10, 10), 5)
    msp.add_blockref("MARK", (50, 50), dxfattribs={"layer": "BLUE"})
    doc.saveas(path)


def write_nested(path):
    """Nine levels of blocks, each inserting the next 20 times: a few KB that unfold into
    20^8 lines and more."""
    doc = ezdxf.new("R12")
    names = ["LEVEL%d" % level for level in range(9)]
    innermost = doc.blocks.new(names[-1])
    innermost.add_line((0, 0), (1, 1))
    for level in range(7, -1, -1):
        block = doc.blocks.new(names[level])
        for i in range(20):
            block.add_blockref(names[level + 1], (i * 2, 0))
    doc.modelspace().add_blockref(names[0], (0, 0))
    doc.saveas(path)


def write_host(kind, path):
    if kind == "layers":
        write_layers(path)
        return
    if kind == "nested":
        write_nested(path)
        return
    if kind == "sample-r12":
        doc = ezdxf.new("R12")
        doc.encoding = "gbk"
    elif kind == "sample-r2018":
        doc = ezdxf.new("R2018")
    else:
        doc = ezdxf.new("R2000")
        doc.encoding = "gbk"
    add_texts(doc)
    if kind == "lastline":
        doc.modelspace().add_line((0, 0), (0, 100))
    if kind == "longtext":
        # more than the bus carries in one message
        doc.modelspace().add_text("x" * (40 << 20), dxfattribs={"height": 1})
    doc.saveas(path)


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


def write_run(kind, path):
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


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def entities(path):
    doc = ezdxf.readfile(path)
    for layout in doc.layouts:
        for e in layout:
            text, height, halign, valign = "", 0.0, 0, 0
            if e.dxftype() == "TEXT":
                text, height = e.dxf.text, e.dxf.height
                halign, valign = e.dxf.get("halign", 0), e.dxf.get("valign", 0)
            elif e.dxftype() == "MTEXT":
                text = e.text
            print("ENTITY\t%s\t%s\t%s\t%s\t%r\t%d\t%d\t%s" % (
                "*Model_Space" if layout.is_modelspace else layout.name, e.dxftype(),
                e.dxf.handle, e.dxf.layer, float(height), halign, valign, escaped(text)))


def layout_texts(doc):
    def text_of(entity):
        kind = entity.dxftype()
        return entity.dxf.text if kind == "TEXT" else entity.text if kind == "MTEXT" else ""
    return [(e.dxftype(), e.dxf.layer, text_of(e)) for layout in doc.layouts for e in layout]


def check_run(folder, find, replacement):
    drawings = sorted(pathlib.Path(folder).glob("*.dwg"))
    if not drawings:
        sys.exit(f"no drawings in {folder}")
    for drawing in drawings:
        before = layout_texts(ezdxf.readfile(drawing.with_suffix(".bak")))
        after = sorted(layout_texts(ezdxf.readfile(drawing)))
        expected = sorted([(kind, layer, text.replace(find, replacement) if kind == "TEXT" else text)
                           for kind, layer, text in before])
        if not any(find in text for kind, _, text in before if kind == "TEXT"):
            sys.exit(f"{drawing.name}: the previous file has no text to replace")
        if after != expected:
            sys.exit(f"{drawing.name}: saved {after}, expected {expected}")
        print(f"{drawing.name}: {ezdxf.readfile(drawing).dxfversion}, "
              f"{sum(find in t for _, _, t in before)} text(s) replaced, {len(after)} entities kept")


def write(kind, path):
    if kind in ("r12", "r2000", "r2018"):
        write_run(kind, path)
    else:
        write_host(kind, path)


COMMANDS = {
    "write": lambda kind, path: write(kind, path),
    "bench": lambda path, matching, others: bench(path, int(matching), int(others)),
    "make": make,
    "make-kinds": make_kinds,
    "dump": dump,
    "entities": entities,
    "texts": texts,
    "check-run": check_run,
}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
        sys.exit(__doc__)
    COMMANDS[sys.argv[1]](*sys.argv[2:])
