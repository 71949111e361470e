"""The same replacement as a Quorvel batch run, done by ezdxf: every text that contains the search
text gets every occurrence replaced, and the drawing is saved. By default the single-line texts of
every layout; with --kinds all also multi-line texts, attribute values and definitions, dimension
override texts and the texts inside block definitions, as quorvel-batch --kinds all. With
--ignore-case, --whole-word and --width-insensitive it matches as quorvel-batch does with those
options (Latin letters, runs of Latin letters, digits and "_", full-width forms).

  ezdxf_replace.py [--kinds all] [--ignore-case] [--whole-word] [--width-insensitive]
                   <search> <replacement> <drawing>...
"""
import re
import sys

import ezdxf

HALF_WIDTH = {c: c - 0xFEE0 for c in range(0xFF01, 0xFF5F)} | {0x3000: 0x20}
WORD = "0-9A-Za-z_\u00C0-\u00D6\u00D8-\u00F6\u00F8-\u00FF\uFF10-\uFF19\uFF21-\uFF3A\uFF3F\uFF41-\uFF5A"


def replacer(search, replacement, options):
    """A function giving the new text, or None when the search text is not in it."""
    if not options:
        return lambda text: text.replace(search, replacement) if search in text else None
    width = "--width-insensitive" in options
    fold = (lambda text: text.translate(HALF_WIDTH)) if width else (lambda text: text)
    expression = re.escape(fold(search))
    if "--whole-word" in options:
        expression = "(?<![%s])%s(?![%s])" % (WORD, expression, WORD)
    pattern = re.compile(expression, re.IGNORECASE if "--ignore-case" in options else 0)

    def replace(text):
        # Folding keeps every character in its place: the matches fall on the original text.
        spans = [match.span() for match in pattern.finditer(fold(text))]
        if not spans:
            return None
        out, copied = "", 0
        for begin, end in spans:
            out += text[copied:begin] + replacement
            copied = end
        return out + text[copied:]
    return replace


def replace_in(entity, replace):
    kind = entity.dxftype()
    if kind == "MTEXT":
        new = replace(entity.text)
        if new is not None:
            entity.text = new
    elif kind in ("TEXT", "ATTRIB", "ATTDEF", "DIMENSION"):
        new = replace(entity.dxf.get("text", ""))
        if new is not None:
            entity.dxf.text = new
    elif kind == "INSERT":
        for attrib in entity.attribs:
            replace_in(attrib, replace)


def main():
    arguments = sys.argv[1:]
    options = []
    every_kind = False
    while arguments and arguments[0].startswith("--"):
        option = arguments.pop(0)
        if option == "--kinds":
            every_kind = arguments.pop(0) == "all"
        else:
            options.append(option)
    replace = replacer(arguments[0], arguments[1], options)
    for path in arguments[2:]:
        doc = ezdxf.readfile(path)
        if every_kind:
            # Every block record: the layouts and the block definitions.
            for block in doc.blocks:
                for entity in block.query("TEXT MTEXT ATTDEF DIMENSION INSERT"):
                    replace_in(entity, replace)
        else:
            for layout in doc.layouts:
                for text in layout.query("TEXT"):
                    replace_in(text, replace)
        doc.save()


if __name__ == "__main__":
    main()
