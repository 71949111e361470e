"""The same replacement as a Quorvel batch run, done by ezdxf: every text that contains the search
text gets every occurrence replaced, and the drawing is saved. By default the single-line texts of
every layout; with --kinds all also multi-line texts, attribute values and definitions, dimension
override texts and the texts inside block definitions, as quorvel-batch --kinds all.

  ezdxf_replace.py [--kinds all] <search> <replacement> <drawing>...
"""
import sys

import ezdxf


def replace_in(entity, search, replacement):
    kind = entity.dxftype()
    if kind == "MTEXT":
        if search in entity.text:
            entity.text = entity.text.replace(search, replacement)
    elif kind in ("TEXT", "ATTRIB", "ATTDEF", "DIMENSION"):
        text = entity.dxf.get("text", "")
        if search in text:
            entity.dxf.text = text.replace(search, replacement)
    elif kind == "INSERT":
        for attrib in entity.attribs:
            replace_in(attrib, search, replacement)


def main():
    arguments = sys.argv[1:]
    every_kind = arguments[:2] == ["--kinds", "all"]
    if every_kind:
        arguments = arguments[2:]
    search, replacement, paths = arguments[0], arguments[1], arguments[2:]
    for path in paths:
        doc = ezdxf.readfile(path)
        if every_kind:
            # Every block record: the layouts and the block definitions.
            for block in doc.blocks:
                for entity in block.query("TEXT MTEXT ATTDEF DIMENSION INSERT"):
                    replace_in(entity, search, replacement)
        else:
            for layout in doc.layouts:
                for text in layout.query("TEXT"):
                    if search in text.dxf.text:
                        text.dxf.text = text.dxf.text.replace(search, replacement)
        doc.save()


if __name__ == "__main__":
    main()
