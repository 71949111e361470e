"""The HTML report's pictures checked against ezdxf's reading of the same drawing (used by
ezdxf_tool.py: "write picture <path>", "check-report <html> <drawing> <original>")."""
import html
import math
import re
import xml.etree.ElementTree as ET

import ezdxf

SVG = "{http://www.w3.org/2000/svg}"
MARK = "#e0142c"


def write_picture(path):
    """Every shape a picture draws, and texts "OLD" of every kind."""
    doc = ezdxf.new("R2018")
    doc.layers.add("LINES", color=1)
    doc.layers.add("HIDDEN").off()
    doc.layers.add("FROZEN").freeze()
    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 50), dxfattribs={"layer": "LINES"})
    msp.add_circle((50, 50), 20)
    msp.add_arc((10, 10), 5, 30, 200)
    msp.add_lwpolyline([(0, 60, 0), (40, 60, 0.5), (40, 80, 0)], format="xyb")
    msp.add_text("旋转 OLD", dxfattribs={"height": 5, "rotation": 30}).set_placement((20, 90))
    msp.add_text("居中 OLD", dxfattribs={"height": 3}).set_placement(
        (60, 30), align=ezdxf.enums.TextEntityAlignment.MIDDLE_CENTER)
    msp.add_mtext("多行 OLD\\P第二行", dxfattribs={"char_height": 2.5}).set_location((100, 80))
    msp.add_mtext("说明：尺寸以毫米计 OLD 标高以米计", dxfattribs={
        "char_height": 2, "width": 20}).set_location((100, 65))
    msp.add_text("hidden OLD", dxfattribs={"layer": "HIDDEN", "height": 2})
    msp.add_circle((0, -20), 3, dxfattribs={"layer": "FROZEN"})
    block = doc.blocks.new("MARK")
    block.add_circle((0, 0), 4)
    block.add_line((-4, 0), (4, 0))
    block.add_attdef("TAG", (0, 5), dxfattribs={"height": 1.5})
    block.add_text("块 OLD", dxfattribs={"height": 1}).set_placement((-3, -6))
    doc.layout("Layout1").add_text("图纸 OLD", dxfattribs={"height": 3}).set_placement((10, 10))
    insert = msp.add_blockref("MARK", (150, 40), dxfattribs={
        "xscale": 2, "yscale": 2, "rotation": 90})
    insert.add_auto_attribs({"TAG": "属性 OLD"})
    # A block of references to itself: without limits, a picture of it would never end.
    bomb = doc.blocks.new("BOMB")
    bomb.add_circle((0, 0), 1)
    for _ in range(12):
        bomb.add_blockref("BOMB", (0, 0))
    msp.add_blockref("BOMB", (-20, -20))
    doc.saveas(path)


class Picture:
    def __init__(self, svg):
        self.root = ET.fromstring(svg)
        x, y = (float(v) for v in self.root.get("data-origin").split())
        self.origin, self.scale = (x, y), float(self.root.get("data-scale"))
        self.tolerance = 0.2 / self.scale + 1e-6
        self.paths = []  # vertices in drawing units
        self.arcs = []  # (centre, radius) in drawing units
        for path in self.root.iter(SVG + "path"):
            tokens = re.findall(r"[MLA]|-?[\d.]+", path.get("d"))
            i, last = 0, None
            while i < len(tokens):
                command = tokens[i]
                if command == "M":
                    self.paths.append([])
                count = {"M": 2, "L": 2, "A": 7}[command]
                values = [float(v) for v in tokens[i + 1:i + 1 + count]]
                if command == "A":
                    self.arcs.append(self.arc(last, values))
                last = values[-2:]
                self.paths[-1].append(self.world(*last))
                i += 1 + count
        self.texts = []
        for text in self.root.iter(SVG + "text"):
            if text.get("font-size"):
                self.texts.append(text)

    def arc(self, start, values):
        """Centre and radius of an SVG arc of a circle, from its end points and flags."""
        (x1, y1), (r, _, _, large, sweep, x2, y2) = start, values
        hx, hy = (x1 - x2) / 2, (y1 - y2) / 2
        squared = hx * hx + hy * hy
        factor = math.sqrt(max(0.0, (r * r - squared) / squared)) if squared else 0.0
        sign = -1 if large == sweep else 1
        centre = (sign * factor * hy + (x1 + x2) / 2, -sign * factor * hx + (y1 + y2) / 2)
        return self.world(*centre), r / self.scale

    def world(self, px, py):
        return (self.origin[0] + px / self.scale, self.origin[1] - py / self.scale)

    def near(self, a, b):
        return math.dist((a[0], a[1]), (b[0], b[1])) <= self.tolerance

    def has_point(self, point):
        return any(self.near(v, point) for vertices in self.paths for v in vertices)

    def has_arc(self, centre, radius):
        """An arc on that circle, drawn the right way round (its centre where it belongs)."""
        return any(abs(r - radius) <= self.tolerance and math.dist(c, (centre[0], centre[1])) <=
                   2 * self.tolerance for c, r in self.arcs)

    def text_named(self, content):
        return [t for t in self.texts if t.text == content]


def rotation_of(element):
    found = re.search(r"rotate\((-?[\d.]+)", element.get("transform", ""))
    return -float(found.group(1)) if found else 0.0


def same_angle(a, b):
    return abs((a - b + 180) % 360 - 180) < 0.5


def text_box_holds(picture, element, point):
    """The text element's box (baseline left, rotation, length, height) holds the point."""
    scale = picture.scale
    left = picture.world(float(element.get("x")), float(element.get("y")))
    rotation = rotation_of(element)
    height = float(element.get("font-size")) / scale
    width = float(element.get("textLength", "0")) / scale
    angle = math.radians(rotation)
    dx, dy = point[0] - left[0], point[1] - left[1]
    along = dx * math.cos(angle) + dy * math.sin(angle)
    up = -dx * math.sin(angle) + dy * math.cos(angle)
    slack = picture.tolerance
    return -slack <= along <= width + slack and -height / 3 - slack <= up <= height + slack


def check_entity(picture, e, problems):
    kind = e.dxftype()
    if kind == "LINE":
        ok = picture.has_point(e.dxf.start) and picture.has_point(e.dxf.end)
    elif kind == "CIRCLE":
        ok = picture.has_arc(e.dxf.center, e.dxf.radius)
    elif kind == "ARC":
        ok = picture.has_point(e.start_point) and picture.has_point(e.end_point) and \
            picture.has_arc(e.dxf.center, e.dxf.radius)
    elif kind == "LWPOLYLINE":
        points = list(e.get_points("xyb"))
        ok = all(picture.has_point(p) for p in points)
        for (x1, y1, b), (x2, y2, _) in zip(points, points[1:]):
            if b:
                centre, _, _, radius = ezdxf.math.bulge_to_arc((x1, y1), (x2, y2), b)
                ok = ok and picture.has_arc(centre, radius)
    elif kind in ("TEXT", "ATTRIB"):
        shown = picture.text_named(e.dxf.text)
        point = e.dxf.insert if e.dxf.get("halign", 0) == 0 else e.dxf.align_point
        ok = any(abs(float(t.get("font-size")) - e.dxf.height * picture.scale) < 0.1 and
                 same_angle(rotation_of(t), e.dxf.rotation) and
                 text_box_holds(picture, t, point) for t in shown)
    elif kind == "MTEXT":
        # Its lines one after another, none past the reference width (broken as a host does).
        plain = re.sub(r"\s", "", e.plain_text())
        lines = [t for t in picture.texts
                 if abs(float(t.get("font-size")) - e.dxf.char_height * picture.scale) < 0.1 and
                 t.text.replace(" ", "") in plain]
        width = e.dxf.get("width", 0) * picture.scale
        ok = plain in "".join(t.text for t in lines).replace(" ", "") and \
            (not width or all(float(t.get("textLength", 0)) <= width + 0.2 for t in lines))
        if width:
            ok = ok and len(lines) > 1
    elif kind == "INSERT" and e.dxf.name == "BOMB":
        ok = picture.has_arc(e.dxf.insert, 1)
    elif kind == "INSERT":
        for inner in e.virtual_entities():
            if inner.dxftype() != "ATTDEF":
                check_entity(picture, inner, problems)
        for attribute in e.attribs:
            check_entity(picture, attribute, problems)
        return
    else:
        return
    if ok != (e.dxf.layer not in ("HIDDEN", "FROZEN")):
        problems.append(f"{kind} {e.dxf.handle} on {e.dxf.layer}: "
                        f"{'missing from' if ok is False else 'drawn in'} the picture")


def cell_text(cell):
    return html.unescape(re.sub(r"<br>", "\n", cell))


def check_report(report, drawing, original):
    """The space picture shows the saved drawing as ezdxf reads it; each row's pictures show its
    old and new text, marked."""
    page = open(report, encoding="utf-8").read()
    problems = []
    spaces = dict(re.findall(r'<div class="space"><div>([^<]*)</div>(<svg.*?</svg>)</div>', page))
    if set(spaces) != {"模型空间", "布局 Layout1", "块 MARK"}:
        raise SystemExit(f"pictures of {list(spaces)}")
    overview = Picture(spaces["模型空间"])
    for e in ezdxf.readfile(drawing).modelspace():
        check_entity(overview, e, problems)
    rows = re.findall(r"<tr data-i=.*?</tr>", page)
    for row in rows:
        cells = re.findall(r"<td[^>]*>(.*?)</td>", row)
        old, new, pictures = cell_text(cells[6]), cell_text(cells[7]), cells[9:11]
        for svg, text in zip(pictures, (old, new)):
            if "hidden" in text:
                continue
            if not svg.startswith("<svg"):
                problems.append(f"row {cells[0]}: no picture of {text!r}")
                continue
            marked = [t.text for t in Picture(svg).texts if t.get("fill") == MARK]
            if "".join(marked).replace(" ", "") != re.sub(r"\s|\\P", "", text):
                problems.append(f"row {cells[0]}: marked {marked}, expected {text!r}")
            if not Picture(svg).root.findall(SVG + "rect"):
                problems.append(f"row {cells[0]}: text not outlined")
    if not rows:
        problems.append("no rows")
    for problem in problems:
        print(problem)
    if problems:
        raise SystemExit(1)
    print(f"{len(rows)} rows, {len(overview.paths)} paths and {len(overview.texts)} texts checked")
