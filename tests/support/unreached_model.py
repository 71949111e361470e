#!/usr/bin/python3
"""What quorvel-batch cannot search in a drawing, as ezdxf counts it, for the tests.

  write DRAWING      a drawing with proxy and OLE entities, an external reference, texts with
                     fields, texts in an anonymous block and a dimension (whose picture is no
                     anonymous block the tool leaves alone)
  count DRAWING...   per drawing one line: path, proxies, OLE objects, external references
                     ("block：path", joined by "\\n"), field texts, texts in anonymous blocks;
                     drawings with nothing to count are left out
"""
import sys

import ezdxf

# ezdxf writes neither entity: their tags go in by hand, before the ENTITIES section ends.
PROXY_AND_OLE = [
    "0", "ACAD_PROXY_ENTITY", "5", "FFF1", "330", "1F", "100", "AcDbEntity", "8", "0",
    "100", "AcDbProxyEntity", "90", "498", "91", "500", "95", "0", "70", "0",
    "0", "OLE2FRAME", "5", "FFF2", "330", "1F", "100", "AcDbEntity", "8", "0",
    "100", "AcDbOle2Frame", "70", "2", "3", "Paintbrush Picture", "10", "0", "20", "10",
    "30", "0", "11", "10", "21", "0", "31", "0", "71", "2", "72", "0", "90", "0", "1",
    "OLE",
]


def write(path):
    doc = ezdxf.new("R2018", setup=True)
    space = doc.modelspace()
    doc.add_xref_def("..\\底图\\首层.dwg", "首层底图")
    space.add_blockref("首层底图", (0, 0))
    picture = doc.blocks.new_anonymous_block("U")
    picture.add_text("动态块 甲")
    picture.add_mtext("动态块 乙")
    space.add_blockref(picture.name, (0, 0))
    dated = space.add_text("2026-12-08")
    dated.new_extension_dict().dictionary.add_new_dict("ACAD_FIELD")
    space.add_mtext("%<\\AcVar Date \\f \"yyyy-MM-dd\">%")
    space.add_text("普通文字")
    space.add_linear_dim(base=(0, 5), p1=(0, 0), p2=(10, 0), text="<> 标注").render()
    doc.saveas(path)
    with open(path, encoding="utf-8") as drawing:
        lines = drawing.read().split("\n")
    at = lines.index("ENTITIES")
    end = lines.index("ENDSEC", at) - 1
    lines[end:end] = PROXY_AND_OLE
    with open(path, "w", encoding="utf-8") as drawing:
        drawing.write("\n".join(lines))


def is_layout(name):
    upper = name.upper()
    return upper.startswith("*MODEL_SPACE") or upper.startswith("*PAPER_SPACE")


def has_field(entity):
    text = entity.dxf.get("text", "") if entity.dxftype() != "MTEXT" else entity.text
    if "%<\\" in (text or ""):
        return True
    return entity.has_extension_dict and "ACAD_FIELD" in entity.get_extension_dict()


def count(*paths):
    for path in paths:
        try:
            doc = ezdxf.readfile(path)
        except Exception:  # noqa: BLE001 - what ezdxf cannot read is left to other tests
            continue
        texts = ("TEXT", "MTEXT", "ATTRIB", "ATTDEF", "DIMENSION")
        proxies = oles = fields = anonymous = 0
        references = []
        for layout in doc.blocks:
            name = layout.name
            hidden = name.startswith("*") and not is_layout(name) and \
                not name.upper().startswith(("*D", "*T"))
            for entity in layout:
                kind = entity.dxftype()
                proxies += kind == "ACAD_PROXY_ENTITY"
                oles += kind in ("OLE2FRAME", "OLEFRAME")
                attribs = list(entity.attribs) if kind == "INSERT" else []
                for text in [entity] + attribs:
                    if text.dxftype() in texts:
                        fields += has_field(text)
                        anonymous += hidden
            flags = layout.block.dxf.flags
            if flags & 12 and not flags & 32:
                references.append("%s：%s" % (name, layout.block.dxf.get("xref_path", "")))
        if proxies or oles or fields or anonymous or references:
            print("\t".join([path, str(proxies), str(oles), "\\n".join(references), str(fields),
                             str(anonymous)]))


if __name__ == "__main__":
    {"write": write, "count": count}[sys.argv[1]](*sys.argv[2:])
