"""Test drawings written, and results read back, by an independent DXF implementation (ezdxf).

    ezdxf_drawings.py make <folder>   writes the test drawings into <folder>
    ezdxf_drawings.py dump <file>     prints what ezdxf reads, one tab-separated line per item
    ezdxf_drawings.py make-kinds <folder>   drawings with every kind of text (batch tool tests)
    ezdxf_drawings.py texts <file>    every text of every kind, one line each
"""
import math
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


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    elif sys.argv[1] == "make-kinds":
        make_kinds(sys.argv[2])
    elif sys.argv[1] == "texts":
        texts(sys.argv[2])
    else:
        dump(sys.argv[2])
