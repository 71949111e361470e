"""Writes the sample drawings of this folder with ezdxf. On Linux a drawing file holds DXF,
so the files carry the .dwg extension that Quorvel's file dialog and drop take.

  /usr/bin/python3 samples/make_samples.py [folder]
"""
import os
import sys

import ezdxf

# (layer, text, height, x, y)
COMMON = [
    ("图框", "示例设计院", 5.0, 300, 20),
    ("图框", "Sample Design Institute", 3.5, 300, 12),
    ("图框", "设计：张工   校对：李工", 3.0, 300, 4),
    ("标注", "比例 1:100", 3.0, 10, 4),
    ("标注", "Rev A  2019-06", 2.5, 10, 10),
]

DRAWINGS = {
    "总平面图.dwg": ("R2000", "gbk", [
        ("文字", "总平面图", 7.0, 120, 260),
        ("文字", "1# 办公楼", 4.0, 60, 150),
        ("文字", "2# 宿舍楼", 4.0, 200, 150),
        ("标注", "主出入口 Main Entrance", 3.0, 140, 40),
    ]),
    "一层平面图.dwg": ("R2018", None, [
        ("文字", "一层平面图", 7.0, 120, 260),
        ("文字", "门厅 Lobby", 4.0, 60, 150),
        ("文字", "会议室", 4.0, 200, 150),
        ("标注", "楼梯间 Stair", 3.0, 140, 60),
    ]),
    "detail-R12.dwg": ("R12", "gbk", [
        ("文字", "节点详图 Detail 1", 6.0, 120, 260),
        ("标注", "防水层 Waterproofing", 3.0, 60, 150),
    ]),
}


def write(folder, name, version, encoding, texts):
    doc = ezdxf.new(version)
    if encoding:
        doc.encoding = encoding
    for layer, color in (("图框", 7), ("文字", 3), ("标注", 1)):
        doc.layers.add(layer, color=color)
    msp = doc.modelspace()
    border = [(0, 0), (420, 0), (420, 297), (0, 297)]
    if version == "R12":  # R12 has no light-weight polyline
        msp.add_polyline2d(border, close=True, dxfattribs={"layer": "图框"})
    else:
        msp.add_lwpolyline(border, close=True, dxfattribs={"layer": "图框"})
    msp.add_line((290, 0), (290, 30), dxfattribs={"layer": "图框"})
    msp.add_line((290, 30), (420, 30), dxfattribs={"layer": "图框"})
    msp.add_circle((130, 150), 25, dxfattribs={"layer": "标注"})
    for layer, text, height, x, y in COMMON + texts:
        msp.add_text(text, dxfattribs={"layer": layer, "height": height}).set_placement((x, y))
    doc.saveas(os.path.join(folder, name))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, (version, encoding, texts) in DRAWINGS.items():
        write(folder, name, version, encoding, texts)
        print(os.path.join(folder, name))


if __name__ == "__main__":
    main()
