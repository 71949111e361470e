"""Drawings for the cad-host tests, written and read back by ezdxf (an independent DXF library).

  ezdxf_host.py write <kind> <path>   kind: sample (R2000, GBK), r12, r2018, lastline, layers,
                                      nested, longtext
  ezdxf_host.py dump <path>           prints the model-space entities as JSON lines
"""
import json
import sys

import ezdxf


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


def write(kind, path):
    if kind == "layers":
        write_layers(path)
        return
    if kind == "nested":
        write_nested(path)
        return
    if kind == "r12":
        doc = ezdxf.new("R12")
        doc.encoding = "gbk"
    elif kind == "r2018":
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


def dump(path):
    doc = ezdxf.readfile(path)
    for e in doc.modelspace():
        record = {"type": e.dxftype(), "handle": e.dxf.handle, "layer": e.dxf.layer}
        if e.dxftype() == "TEXT":
            record.update(text=e.dxf.text, height=e.dxf.height,
                          halign=e.dxf.get("halign", 0), valign=e.dxf.get("valign", 0))
        print(json.dumps(record, ensure_ascii=False))


if __name__ == "__main__":
    if sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "dump":
        dump(sys.argv[2])
    else:
        sys.exit("unknown command " + sys.argv[1])
