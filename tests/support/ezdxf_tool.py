"""The one ezdxf reference for the tests: drawings written, and results read back, by an
independent DXF implementation.

  ezdxf_tool.py write <kind> <path>    one drawing; kinds:
      r12, r2000 (GBK), r2018 (UTF-8)       texts to replace, model and paper space
      sample (R2000, GBK), sample-r12, sample-r2018, lastline, layers, nested, longtext
                                            drawings for the cad-host tests
      styles                                texts "OLD <style>" in text styles of an SHX font
                                            without and with a big font and of TrueType faces
      picture                               every shape the HTML report draws, texts "OLD"
  ezdxf_tool.py check-report <html> <drawing> <original>
      checks the HTML report of a run over the "picture" drawing (ezdxf_pictures.py)
  ezdxf_tool.py bench <path> <matching> <others> [all]  R2000 GBK drawing for the benchmark;
                                       with all, the matching texts are of every kind
  ezdxf_tool.py make <folder>          the drawings of the DXF engine tests
  ezdxf_tool.py make-kinds <folder>    drawings with every kind of text
  ezdxf_tool.py make-visible <folder>  texts with codes a reader does not see as written:
                                       caret and %% codes, stacks, dimension pictures,
                                       multi-line attributes (R2018, and as R2013 keeps them)
  ezdxf_tool.py make-tables <folder>   tables (cells in the entity, legacy and valued; with a
                                       TABLECONTENT object that agrees and one that does not)
                                       and multileaders
  ezdxf_tool.py dump <path>            every entity and text in detail, tab-separated
  ezdxf_tool.py entities <path>        one tab-separated line per entity of every layout
  ezdxf_tool.py texts <path>           every text of every kind, one line each (a multi-line
                                       attribute as "<group 1>||<embedded text>"; a table cell
                                       as <table handle>.<cell>, its stored copies joined by
                                       " || " where they differ; TABLECONTENT strings likewise)
  ezdxf_tool.py corpus <folder>        drawings of several writers (ezdxf in several versions,
                                       code pages and line ends; gnuplot, pstoedit and dime
                                       where installed) as <writer>_<name>.dxf
  ezdxf_tool.py check <manifest>       compares edited drawings with their originals
  ezdxf_tool.py changed <before> <after>   the records (type and handle) whose bytes differ,
                                       after ezdxf read the edited drawing (AUDIT: its errors)
  ezdxf_tool.py check-run <folder> <find> <replacement>
      checks the drawings a batch run saved: in every drawing the TEXT entities that held <find>
      now hold <replacement>, all other entities are kept (in any order: a replaced text may
      come back as a new entity at the end), and the previous file was kept as <name>.bak
"""
import collections
import math
import os
import pathlib
import re
import shutil
import subprocess
import sys

import ezdxf
import ezdxf_pictures


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


def make_visible(folder):
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    msp.add_mtext("Mtext^Jwith", dxfattribs={"char_height": 2})
    msp.add_mtext("45%%d TO 60%%d", dxfattribs={"char_height": 2})
    msp.add_mtext('2{\\H0.7x;\\S1#2;}"x5{\\S1#4;}"', dxfattribs={"char_height": 2})
    msp.add_text("%%UTypical Assembly Detail", dxfattribs={"height": 2})

    def dimension(override, picture, y):
        dim = msp.add_linear_dim(base=(0, y + 10), p1=(0, y), p2=(50, y), text=override)
        dim.render()
        block = doc.blocks.get(dim.dimension.dxf.geometry)
        block.query("MTEXT").first.text = picture

    dimension("%%c<>", "\\A1;{\\C1;%%c}50", 0)
    dimension("OLD<>", "\\A1;something else", 30)
    block = doc.blocks.new("NOTE")
    block.add_attdef("NOTE", (0, 0), "")
    ref = msp.add_blockref("NOTE", (0, 50))
    attrib = ref.add_attrib("NOTE", "", (0, 50))
    attrib.embed_mtext(msp.add_mtext("my multi line text\\Psecond OLD line",
                                     dxfattribs={"char_height": 2.5}))
    attrib.dxf.text = ""  # as the 2018 generation writes it: the text only in the embedded object
    doc.saveas(f"{folder}/visible_r2018.dxf")
    # The older generations keep the whole text in group 1 as well.
    with open(f"{folder}/visible_r2018.dxf", "rb") as f:
        data = f.read()
    data = data.replace(b"AC1032", b"AC1027", 1)
    attrib_at = data.index(b"\nATTRIB\n")
    line_at = data.index(b"\n  1\n\n", attrib_at) + len(b"\n  1\n")
    data = data[:line_at] + b"my multi line text\\Psecond OLD line" + data[line_at:]
    with open(f"{folder}/visible_r2013.dxf", "wb") as f:
        f.write(data)


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
                values = [("ATTRIB", a.dxf.handle, a.dxf.text + (
                    "||" + a.virtual_mtext_entity().text if a.has_embedded_mtext_entity else ""))
                          for a in entity.attribs]
            elif kind == "MULTILEADER" and entity.has_mtext_content:
                values = [(kind, entity.dxf.handle, entity.get_mtext_content())]
            for kind, handle, text in values:
                text = decode_escapes(text).replace("\n", "\\n")
                print("TEXT\t%s\t%s\t%s\t%s" % (kind, handle, block.name, text))
    encoding = "utf-8" if doc.dxfversion >= "AC1021" else doc.encoding
    for kind, handle, text in table_texts(path, encoding):
        print("TEXT\t%s\t%s\t\t%s" % (kind, handle, decode_escapes(text)))


def table_texts(path, encoding):
    """The cell strings of ACAD_TABLE entities and TABLECONTENT objects, from the raw tags
    (this ezdxf keeps no cell data)."""
    from ezdxf.lldxf.tagger import ascii_tags_loader
    with open(path, encoding=encoding, errors="surrogateescape") as stream:
        tags = list(ascii_tags_loader(stream))
    records, found = [], []
    for tag in tags:
        if tag.code == 0:
            records.append([tag])
        elif records:
            records[-1].append(tag)
    for record in records:
        kind = record[0].value
        if kind not in ("ACAD_TABLE", "TABLECONTENT"):
            continue
        handle = next(t.value for t in record if t.code == 5)
        cells, current, in_value, in_content = [], None, False, kind == "ACAD_TABLE"
        for tag in record:
            if kind == "ACAD_TABLE" and tag.code == 171:
                current = {"legacy": "", "value": "", "display": "", "chunks": ""}
                cells.append(current)
            elif kind == "TABLECONTENT" and (tag.code, tag.value) == (1, "CELLCONTENT_BEGIN"):
                in_content = True
            elif (tag.code, tag.value) in ((301, "CELL_VALUE"), (300, "VALUE")) and in_content:
                in_value = True
                if kind == "TABLECONTENT":
                    current = {"legacy": "", "value": "", "display": "", "chunks": ""}
                    cells.append(current)
            elif (tag.code, tag.value) == (304, "ACVALUE_END"):
                in_value = False
            elif kind == "TABLECONTENT" and (tag.code, tag.value) == (309, "CELLCONTENT_END"):
                in_value = in_content = False  # before R2007 a value has no end of its own
            elif current is None or tag.code >= 1000:
                continue
            elif tag.code in (2, 3) and (in_value or kind == "ACAD_TABLE"):
                current["chunks"] += tag.value
            elif tag.code == 1 and (in_value or kind == "ACAD_TABLE"):
                current["value" if in_value else "legacy"] = current["chunks"] + tag.value
                current["chunks"] = ""
            elif tag.code == 302 and in_value:
                current["display"] = tag.value
        for index, cell in enumerate(cells):
            copies = [cell[k] for k in ("legacy", "value", "display") if cell[k]]
            if copies:
                found.append((kind, "%s.%d" % (handle, index),
                              " || ".join(dict.fromkeys(copies))))
    return found


def corpus_drawing(version, encoding, texts, extra_texts=0):
    doc = ezdxf.new(version)
    if encoding:
        doc.encoding = encoding
    add_common(doc, texts)
    msp = doc.modelspace()
    for i in range(extra_texts):
        msp.add_line((i, 0), (i, 5), dxfattribs={"layer": "LINES"})
        msp.add_circle((i, 9), 1.5)
        msp.add_text("note %d" % i, dxfattribs={"layer": "TEXTS", "height": 1}).set_pos((i, 7))
    return doc


def save_variant(doc, path, crlf=False, code_page=None):
    """Writes doc, then gives it CR LF line ends and another $DWGCODEPAGE as CAD programs do."""
    doc.saveas(path)
    with open(path, "rb") as f:
        data = f.read()
    if code_page:
        data = re.sub(rb"(\$DWGCODEPAGE\r?\n *3\r?\n)[^\r\n]*", rb"\g<1>" + code_page, data)
        data = data.replace(b"UMLAUT", "Grüße".encode("cp850"))
    if crlf:
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    with open(path, "wb") as f:
        f.write(data)


def corpus(folder):
    latin = ["Hello OLD world", "OLD", "plain", "UMLAUT"]
    save_variant(corpus_drawing("R12", None, latin), f"{folder}/ezdxf_r12_dos850_crlf.dxf",
                 crlf=True, code_page=b"DOS850")
    save_variant(corpus_drawing("R2000", "cp1251", ["Привет OLD", "план"]),
                 f"{folder}/ezdxf_r2000_ansi1251.dxf")
    save_variant(corpus_drawing("R2004", "cp1250", ["Łódź OLD", "žluť"]),
                 f"{folder}/ezdxf_r2004_ansi1250_crlf.dxf", crlf=True)
    save_variant(corpus_drawing("R2010", "gbk", ["设计 OLD", "图纸"]),
                 f"{folder}/ezdxf_r2010_ansi936.dxf")
    save_variant(corpus_drawing("R2007", None, ["ユニコード OLD"]), f"{folder}/ezdxf_r2007.dxf")
    save_variant(corpus_drawing("R2018", None, ["한국어 OLD"]), f"{folder}/ezdxf_r2018_crlf.dxf",
                 crlf=True)
    # Large enough that untouched stretches between edits run to hundreds of kilobytes.
    save_variant(corpus_drawing("R2013", None, latin, extra_texts=2500),
                 f"{folder}/ezdxf_r2013_dos850_large_crlf.dxf", crlf=True, code_page=b"DOS850")
    save_variant(corpus_drawing("R12", None, latin, extra_texts=3500),
                 f"{folder}/ezdxf_r12_large.dxf")

    def run(*command):
        subprocess.run(command, cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    if shutil.which("gnuplot"):
        run("gnuplot", "-e", "set terminal dxf; set output 'gnuplot_plot.dxf'; "
            "set title 'Title OLD'; set xlabel 'x OLD'; plot sin(x) title 'sine', cos(x)")
    if shutil.which("pstoedit") and shutil.which("gs"):
        with open(f"{folder}/page.ps", "w") as f:
            f.write("%!\n/Helvetica findfont 12 scalefont setfont\n")
            for i in range(12):
                f.write("72 %d moveto (line %d OLD) show\n" % (72 + 20 * i, i))
            f.write("newpath 10 10 moveto 300 300 lineto stroke showpage\n")
        run("pstoedit", "-f", "dxf", "page.ps", "pstoedit_r12.dxf")
        run("pstoedit", "-f", "dxf_14", "page.ps", "pstoedit_r14.dxf")
        os.remove(f"{folder}/page.ps")
    if shutil.which("dxfsphere"):
        run("dxfsphere", "-o", "dime_sphere.dxf", "2")


def section_names(path):
    """The sections in file order as the raw tags give them, and whether the file starts with a
    section and ends with EOF."""
    with open(path, "rb") as f:
        lines = f.read().replace(b"\r\n", b"\n").split(b"\n")
    pairs = [(lines[i].strip(), lines[i + 1].strip()) for i in range(0, len(lines) - 1, 2)]
    pairs = [p for p in pairs if p[0] != b"999"]
    names = [pairs[i + 1][1].decode("latin-1") for i in range(len(pairs) - 1)
             if pairs[i] == (b"0", b"SECTION")]
    starts = bool(pairs) and pairs[0] == (b"0", b"SECTION")
    ends = any(p == (b"0", b"EOF") for p in pairs)
    return names, starts and ends


def raw_handles(path):
    """The values of every group code 5 in the file, as written."""
    with open(path, "rb") as f:
        lines = f.read().replace(b"\r\n", b"\n").split(b"\n")
    return {lines[i + 1].strip().decode("latin-1").upper() for i in range(0, len(lines) - 1, 2)
            if lines[i].strip() == b"5"}


def census(path):
    doc = ezdxf.readfile(path)
    described = {}
    types = collections.Counter()
    texts = collections.Counter()
    for block in doc.blocks:
        for entity in block:
            attribs = entity.dxfattribs()
            attribs.pop("handle", None)
            attribs.pop("owner", None)
            described[entity.dxf.handle.upper()] = "%s %s %s" % (
                entity.dxftype(), block.name, sorted((k, str(v)) for k, v in attribs.items()))
            types[entity.dxftype()] += 1
            if entity.dxftype() == "TEXT":
                texts[decode_escapes(entity.dxf.text)] += 1
    return doc, described, types, texts


def writer_of(path):
    with open(path, "rb") as f:
        head = f.read(400).replace(b"\r", b"").split(b"\n")
    if len(head) > 1 and head[0].strip() == b"999":
        words = [w.lower() for w in re.findall(r"[A-Za-z][A-Za-z0-9]*", head[1].decode("latin-1"))]
        words = [w for w in words if w not in ("dxf", "generated", "by", "file", "written")]
        return words[0] if words else "unknown"
    writer = os.path.basename(path).split("_")[0]
    return writer if writer in ("ezdxf", "gnuplot", "pstoedit", "dime") else "unmarked"


def check_one(item):
    original, saved = item["original"], item["saved"]
    try:
        before_doc, before, before_types, before_texts = census(original)
    except Exception as error:  # the original is beyond ezdxf: nothing to compare with
        return "SKIP", "ezdxf cannot read the original: %s" % str(error)[:80], None
    try:
        after_doc, after, after_types, after_texts = census(saved)
    except Exception as error:
        return "FAIL", "ezdxf cannot read the result: %s" % str(error)[:120], before_doc
    names_before, _ = section_names(original)
    names_after, whole = section_names(saved)
    if names_after != names_before or not whole:
        return "FAIL", "sections %s, were %s" % (names_after, names_before), before_doc
    if after_types != before_types:
        return "FAIL", "entity counts %s, were %s" % (dict(after_types), dict(before_types)), \
            before_doc
    expected_texts = before_texts.copy()
    expected_texts.subtract(collections.Counter(item["old"]))
    expected_texts.update(text for _, text in item["new"])
    if +expected_texts != +after_texts:
        changed = (after_texts - expected_texts) + (expected_texts - after_texts)
        return "FAIL", "texts differ: %s" % list(changed)[:5], before_doc
    # ezdxf gives entities without a handle, or with one it cannot take, a handle of its own:
    # such drawings are compared by what their entities hold.
    renumbered = not set(before) <= raw_handles(original) or not set(after) <= raw_handles(saved)
    if item["handles"] and not renumbered:
        new = {handle for handle, _ in item["new"]}
        expected = set(before) - set(item["erased"]) | new | set(item["moved"].values())
        if set(after) != expected:
            return "FAIL", "handles differ: %s" % sorted(set(after) ^ expected)[:6], before_doc
        for handle, description in after.items():
            if handle in new:
                continue
            source = next((o for o, n in item["moved"].items() if n == handle), handle)
            if before.get(source) != description:
                return "FAIL", "entity %s changed" % handle, before_doc
    else:
        def others(described):
            return collections.Counter(d for d in described.values() if not d.startswith("TEXT "))
        if others(before) != others(after):
            return "FAIL", "entities other than texts changed", before_doc
    return "OK", "", before_doc


def check(manifest):
    """Manifest lines: FILE original saved handles(0/1); ERASED h; OLD text; NEW h text;
    MOVED old new. Prints one RESULT line per drawing."""
    items = []
    with open(manifest, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "FILE":
                items.append({"original": fields[1], "saved": fields[2], "handles": fields[3] == "1",
                              "erased": [], "old": [], "new": [], "moved": {}})
            elif fields[0] == "ERASED":
                items[-1]["erased"].append(fields[1].upper())
            elif fields[0] == "OLD":
                items[-1]["old"].append(fields[1])
            elif fields[0] == "NEW":
                items[-1]["new"].append((fields[1].upper(), fields[2]))
            elif fields[0] == "MOVED":
                items[-1]["moved"][fields[1].upper()] = fields[2].upper()
    for item in items:
        verdict, reason, doc = check_one(item)
        version = doc.dxfversion if doc else "?"
        encoding = "?"
        if doc:
            encoding = "UTF-8" if doc.dxfversion >= "AC1021" else doc.header.get("$DWGCODEPAGE", "-")
        with open(item["original"], "rb") as f:
            crlf = b"\r\n" in f.read(200)
        print("RESULT\t%s\t%s\t%s\t%s\t%s\t%s\t%s" % (
            item["original"], writer_of(item["original"]), version, encoding,
            "crlf" if crlf else "lf", verdict, reason))


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


def write_styles(path):
    doc = ezdxf.new("R2000")
    doc.encoding = "gbk"  # style names and fonts in the drawing's code page
    doc.styles.new("SHXONLY", dxfattribs={"font": "txt.shx"})
    doc.styles.new("WITHBIG", dxfattribs={"font": "txt.shx", "bigfont": "gbcbig.shx"})
    doc.styles.new("FACE", dxfattribs={"font": "DejaVuSans.ttf"}).set_extended_font_data(
        "DejaVu Sans")
    # Faces named where the font file belongs.
    doc.styles.new("BARE", dxfattribs={"font": "DejaVu Sans"})
    doc.styles.new("宋体样式", dxfattribs={"font": "宋体"})
    doc.dimstyles.new("DIMFACE", dxfattribs={"dimtxsty": "FACE"})
    msp = doc.modelspace()
    for name in ("SHXONLY", "WITHBIG", "FACE", "BARE", "宋体样式"):
        msp.add_text("OLD " + name, dxfattribs={"style": name})
    msp.add_mtext("OLD MTEXT", dxfattribs={"style": "SHXONLY"})
    msp.add_mtext("{\\fNoto Sans CJK SC|b0|i0;x} OLD INLINE", dxfattribs={"style": "SHXONLY"})
    msp.add_linear_dim(base=(0, 20), p1=(0, 0), p2=(50, 0), text="OLD DIM",
                       dimstyle="DIMFACE").render()
    msp.add_linear_dim(base=(0, 40), p1=(0, 0), p2=(50, 0), text="OLD DIMOVERRIDE",
                       override={"dimtxsty": "FACE"}).render()
    doc.saveas(path)


def write_host(kind, path):
    if kind == "styles":
        write_styles(path)
        return
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


def bench(path, matching, others, matching_kinds="text"):
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
    detail = doc.blocks.new("DETAIL") if matching_kinds == "all" else None
    if detail is not None:
        doc.blocks.new("TAG").add_attdef("TAG", (0, 0), dxfattribs={"height": 2.5})
        msp.add_blockref("DETAIL", (0, -2000))
    for i in range(matching):
        point = (i % 50 * 20.0, -10.0 - i // 50 * 5.0)
        text, attribs = f"旧文本 {i}", {"layer": "标注", "height": 2.5}
        # With every kind, the matching texts take turns: text, multi-line text, attribute
        # value, dimension override, text inside a block definition.
        turn = i % 5 if detail is not None else 0
        if turn == 0:
            msp.add_text(text, dxfattribs=attribs).set_placement(point)
        elif turn == 1:
            msp.add_mtext(text, dxfattribs={"layer": "标注", "char_height": 2.5}).set_location(
                point)
        elif turn == 2:
            msp.add_blockref("TAG", point).add_attrib("TAG", text, point, dxfattribs=attribs)
        elif turn == 3:
            msp.add_linear_dim(base=(point[0], point[1] + 3), p1=point,
                               p2=(point[0] + 15, point[1]), text=text + " <>").render()
        else:
            detail.add_text(text, dxfattribs=attribs).set_placement(point)
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
    elif kind == "picture":
        ezdxf_pictures.write_picture(path)
    else:
        write_host(kind, path)


TABLE_CELLS = [  # 3 rows, 2 columns; (what the cell holds, its text)
    ("text", "门窗表 OLD"), ("empty", ""),
    ("text", "{\\C1;OLD} 编号"), ("field", "OLD field"),
    ("text", "长文字 OLD " * 30), ("number", "OLD 12"),
]


def table_cell_tags(holds, text, legacy, field_handle):
    tags = [(171, 1), (172, 0), (173, 0), (174, 0), (175, 1), (176, 1), (91, 262144),
            (178, 0), (145, 0.0)]
    if holds == "field":
        tags.append((344, field_handle))
    if legacy:
        if holds != "empty":
            chunks = [""]
            for character in text:  # chunks of at most 250 bytes, never splitting a character
                if len((chunks[-1] + character).encode("gbk")) > 250:
                    chunks.append("")
                chunks[-1] += character
            tags += [(2, chunk) for chunk in chunks[:-1]] + [(1, chunks[-1])]
        return tags
    tags += [(92, 0), (301, "CELL_VALUE"), (93, 0 if holds == "empty" else 6)]
    tags.append((90, {"empty": 0, "number": 1}.get(holds, 4)))
    if holds == "number":
        tags.append((91, 12))
    elif holds != "empty":
        tags.append((1, text))
    return tags + [(94, 0), (300, ""), (302, text), (304, "ACVALUE_END")]


def table_content_tags(handle, owner, texts):
    tags = [(0, "TABLECONTENT"), (5, handle), (330, owner), (100, "AcDbLinkedData"), (1, ""),
            (300, ""), (100, "AcDbLinkedTableData"), (90, 2), (90, 3)]
    for row in range(3):
        tags += [(301, "ROW"), (1, "LINKEDTABLEDATAROW_BEGIN"), (90, 2)]
        for holds, text in texts[row * 2:row * 2 + 2]:
            tags += [(300, "CELL"), (1, "LINKEDTABLEDATACELL_BEGIN"), (95, 1),
                     (90, 0 if holds == "empty" else 1)]
            if holds == "field":
                tags += [(302, "CONTENT"), (1, "CELLCONTENT_BEGIN"), (90, 2), (340, "0"),
                         (309, "CELLCONTENT_END")]
            elif holds != "empty":
                tags += [(302, "CONTENT"), (1, "CELLCONTENT_BEGIN"), (90, 1), (300, "VALUE"),
                         (93, 6), (90, 1 if holds == "number" else 4)]
                tags += [(91, 12)] if holds == "number" else [(1, text)]
                tags += [(94, 0), (300, ""), (302, text), (304, "ACVALUE_END"),
                         (309, "CELLCONTENT_END")]
            tags.append((309, "LINKEDTABLEDATACELL_END"))
        tags.append((309, "LINKEDTABLEDATAROW_END"))
    return tags + [(100, "AcDbFormattedTableData"), (100, "AcDbTableContent"), (340, "0")]


def as_dxf(tags):
    return "".join("%3d\n%s\n" % (code, value) for code, value in tags)


def write_table(path, version, content=None):
    """A table of TABLE_CELLS with its picture block; content: None, "agrees" or "differs" (a
    TABLECONTENT object reached through the table's extension dictionary)."""
    doc = ezdxf.new(version)
    legacy = version < "R2007"
    if legacy:
        doc.encoding = "gbk"
    msp = doc.modelspace()
    msp.add_mtext("mtext OLD", dxfattribs={"char_height": 2})
    picture = doc.blocks.new_anonymous_block(type_char="T")
    picture.add_line((0, 0), (60, 0))
    for index, (holds, text) in enumerate(TABLE_CELLS):
        if holds != "empty":
            picture.add_mtext(text, dxfattribs={"insert": (index % 2 * 30, -index // 2 * 10)})
    ids = {name: doc.entitydb.next_handle() for name in ("table", "dict", "record", "content")}
    table = [(0, "ACAD_TABLE"), (5, ids["table"])]
    if content:
        table += [(102, "{ACAD_XDICTIONARY"), (360, ids["dict"]), (102, "}")]
    table += [(330, msp.block_record_handle), (100, "AcDbEntity"), (8, "TABLES"),
              (100, "AcDbBlockReference"), (2, picture.name), (10, 0.0), (20, 0.0), (30, 0.0),
              (100, "AcDbTable"), (280, 0), (342, doc.rootdict["ACAD_TABLESTYLE"].dxf.handle),
              (343, picture.block_record_handle), (11, 1.0), (21, 0.0), (31, 0.0), (90, 22),
              (91, 3), (92, 2), (93, 0), (94, 0), (95, 0), (96, 0)]
    table += [(141, 10.0)] * 3 + [(142, 30.0)] * 2
    for holds, text in TABLE_CELLS:
        table += table_cell_tags(holds, text, legacy, msp.dxf.handle)
    objects = []
    if content:
        texts = list(TABLE_CELLS)
        if content == "differs":
            texts[0] = ("text", "门窗表 OLD 旧")
        objects = [(0, "DICTIONARY"), (5, ids["dict"]), (330, ids["table"]),
                   (100, "AcDbDictionary"), (280, 1), (281, 1), (3, "ACAD_XREC_ROUNDTRIP"),
                   (360, ids["record"]), (0, "XRECORD"), (5, ids["record"]),
                   (330, ids["dict"]), (100, "AcDbXrecord"), (280, 1),
                   (1, "ACAD_ROUNDTRIP_2008_TABLE_ENTITY"), (360, ids["content"])]
        objects += table_content_tags(ids["content"], ids["record"], texts)
    doc.saveas(path)
    encoding = doc.encoding if legacy else "utf-8"
    with open(path, encoding=encoding) as stream:
        data = stream.read()
    entities = data.index("\nENTITIES\n")
    end = data.index("  0\nENDSEC\n", entities)
    data = data[:end] + as_dxf(table) + data[end:]
    if objects:
        end = data.index("  0\nENDSEC\n", data.index("\nOBJECTS\n"))
        data = data[:end] + as_dxf(objects) + data[end:]
    with open(path, "w", encoding=encoding) as stream:
        stream.write(data)


def make_tables(folder):
    from ezdxf.math import Vec2
    write_table(f"{folder}/table_r2004_gbk.dxf", "R2004")
    write_table(f"{folder}/table_r2010.dxf", "R2010")
    write_table(f"{folder}/table_content_r2018.dxf", "R2018", "agrees")
    write_table(f"{folder}/table_content_differs.dxf", "R2018", "differs")
    doc = ezdxf.new("R2018")
    msp = doc.modelspace()
    for y, text in ((0, "注 OLD\\P第二行 {\\C1;OLD}"), (30, "untouched")):
        builder = msp.add_multileader_mtext("Standard")
        builder.set_content(text, char_height=2.5)
        builder.add_leader_line(ezdxf.render.mleader.ConnectionSide.left, [Vec2(-20, y - 10)])
        builder.build(insert=Vec2(0, y))
    doc.saveas(f"{folder}/mleader_r2018.dxf")


def raw_records(path):
    """The file's records as bytes: each code-0 tag with what follows it."""
    with open(path, "rb") as stream:
        lines = stream.read().splitlines(keepends=True)
    records = []
    for index in range(0, len(lines) - 1, 2):
        if lines[index].strip() == b"0" or not records:
            records.append([])
        records[-1] += lines[index:index + 2]
    return [b"".join(record) for record in records]


def changed(before, after):
    doc = ezdxf.readfile(after)
    print("AUDIT\t%d" % len(doc.audit().errors))
    old, new = raw_records(before), raw_records(after)
    print("RECORDS\t%d\t%d" % (len(old), len(new)))
    for a, b in zip(old, new):
        if a != b:
            fields = b.decode("utf-8", "replace").splitlines()
            handle = next((fields[i + 1].strip() for i in range(2, len(fields) - 1, 2)
                           if fields[i].strip() == "5"), "")
            print("CHANGED\t%s\t%s" % (fields[1].strip(), handle))


COMMANDS = {
    "write": lambda kind, path: write(kind, path),
    "bench": lambda path, matching, others, kinds="text": bench(path, int(matching), int(others),
                                                                kinds),
    "make": make,
    "make-kinds": make_kinds,
    "make-visible": make_visible,
    "make-tables": make_tables,
    "dump": dump,
    "entities": entities,
    "texts": texts,
    "corpus": corpus,
    "check": check,
    "changed": changed,
    "check-run": check_run,
    "check-report": ezdxf_pictures.check_report,
}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
        sys.exit(__doc__)
    COMMANDS[sys.argv[1]](*sys.argv[2:])
