#!/usr/bin/python3
"""An independent model of quorvel-batch's matching options, for the tests.

  write DRAWING                      a drawing (R2018) with texts that tell the options apart
  check BEFORE AFTER FIND REPL OPT.. the texts of AFTER, read by ezdxf, against what the model
                                     makes of BEFORE; prints one line per difference

The model matches what a reader sees (ezdxf's plain_text), or with --raw the stored value, and
is written from the documented rules, not from the C++ code: Python's regular expressions do the
searching, unicodedata says which characters are Latin letters and which are full-width forms.
"""
import re
import sys
import unicodedata

import ezdxf

TEXTS = [
    "门窗表 M1 M10 M1_A xM1 M1门",
    "ＡＢＣ１２３（甲）",
    "abc123(甲)",
    "Abc 123\u3000全角空格",
    "DOOR-01",
    "door-02",
    "Ｄｏｏｒ－０３",
    "标高 %%p0.000",
    "Café CAFÉ",
    "ΦΦφ",
    "M1",
    "门",
    "问题?",
    "问题甲",
]
MTEXTS = ["{\\C1;M1}0 设备 M1", "\\A1;楼梯 LT-1\\P门 M1"]


def write(path):
    doc = ezdxf.new("R2018")
    space = doc.modelspace()
    for i, text in enumerate(TEXTS):
        space.add_text(text, dxfattribs={"insert": (0, -5 * i), "height": 2.5})
    for i, text in enumerate(MTEXTS):
        space.add_mtext(text, dxfattribs={"insert": (50, -10 * i), "char_height": 2.5})
    # The other kinds: attribute values and definitions, a dimension's override, a block's text.
    plate = doc.blocks.new("标牌")
    plate.add_text("M1 甲 Ｍ１")
    plate.add_attdef("NO", (0, -5), text="门 M10")
    space.add_blockref("标牌", (100, 0)).add_attrib("NO", "门 M1 door-04", (100, -5))
    space.add_linear_dim(base=(0, 20), p1=(0, 15), p2=(30, 15), text="DOOR-05 M1").render()
    doc.saveas(path)


def half_width(c):
    # Full-width forms carry their ASCII twin's name after "FULLWIDTH ".
    name = unicodedata.name(c, "")
    if c == "\u3000":
        return " "
    if name.startswith("FULLWIDTH "):
        try:
            return unicodedata.lookup(name[len("FULLWIDTH "):])
        except KeyError:
            return c
    return c


def small_latin(c):
    return c.lower() if "LATIN" in unicodedata.name(c, "") else c


def folder(options):
    def fold(text):
        out = text
        if "--width-insensitive" in options:
            out = "".join(half_width(c) for c in out)
        if "--ignore-case" in options:
            out = "".join(small_latin(c) for c in out)
        return out
    return fold


def is_word(c):
    name = unicodedata.name(half_width(c), "")
    return half_width(c) == "_" or name.startswith("LATIN") or name.startswith("DIGIT")


def wildcard_regex(pattern, fold):
    """The host's wildcards as a Python expression over folded text."""
    negated = pattern.startswith("~")
    if negated:
        pattern = pattern[1:]
    alternatives, current, i = [], "", 0
    while i < len(pattern):
        c = pattern[i]
        if c == "*":
            current += ".*"
        elif c == "?":
            current += "."
        elif c == "#":
            current += "[0-9０-９]"
        elif c == "@":
            current += "[^\\W\\d_]"
        elif c == ".":
            current += "[\\W_]"
        elif c == "`" and i + 1 < len(pattern):
            i += 1
            current += re.escape(fold(pattern[i]))
        elif c == "[" and "]" in pattern[i + 2:]:
            end = pattern.index("]", i + 2)
            body = pattern[i + 1:end]
            current += "[^" + re.escape(fold(body[1:])) + "]" if body.startswith("~") \
                else "[" + fold(body) + "]"
            i = end
        elif c == ",":
            alternatives.append(current)
            current = ""
        else:
            current += re.escape(fold(c))
        i += 1
    alternatives.append(current)
    return negated, re.compile("|".join("(?:%s)" % a for a in alternatives), re.DOTALL)


def apply(text, find, replacement, options):
    """The new text and whether the pair matched."""
    fold = folder(options)
    folded = fold(text)
    if "--wildcards" in options:
        negated, expression = wildcard_regex(find, fold)
        hit = (expression.fullmatch(folded) is not None) != negated
        return (replacement, True) if hit else (text, False)
    if "--exact" in options:
        return (replacement, True) if folded == fold(find) else (text, False)
    expression = re.escape(fold(find))
    if "--whole-word" in options:
        if is_word(find[0]):
            expression = "(?<![0-9A-Za-z_À-ÖØ-öø-ÿ０-９Ａ-Ｚａ-ｚ＿])" + expression
        if is_word(find[-1]):
            expression += "(?![0-9A-Za-z_À-ÖØ-öø-ÿ０-９Ａ-Ｚａ-ｚ＿])"
    out, copied, hit = "", 0, False
    for match in re.finditer(expression, folded):
        out += text[copied:match.start()] + replacement
        copied, hit = match.end(), True
    return out + text[copied:], hit


def seen(entity, raw):
    if entity.dxftype() == "MTEXT":
        return entity.text if raw else entity.plain_text()
    if entity.dxftype() == "DIMENSION" or raw:
        return entity.dxf.text
    return entity.plain_text()


def texts(path):
    doc = ezdxf.readfile(path)
    found = {}
    for entity in list(doc.modelspace()) + list(doc.blocks.get("标牌")):
        if entity.dxftype() == "INSERT":
            found.update((a.dxf.handle, a) for a in entity.attribs)
        elif entity.dxftype() in ("TEXT", "MTEXT", "ATTDEF", "DIMENSION"):
            found[entity.dxf.handle] = entity
    return found


def check(before, after, find, replacement, *options):
    raw = "--raw" in options
    new = texts(after)
    for handle, entity in texts(before).items():
        expected, _ = apply(seen(entity, raw), find, replacement, options)
        got = seen(new[handle], raw)
        if got != expected:
            print("%s: %r became %r, expected %r" % (handle, seen(entity, raw), got, expected))


if __name__ == "__main__":
    {"write": write, "check": check}[sys.argv[1]](*sys.argv[2:])
