"""The same replacement as a Quorvel batch run, done by ezdxf: every single-line text of every
layout that contains the search text gets every occurrence replaced, and the drawing is saved.

  ezdxf_replace.py <search> <replacement> <drawing>...
"""
import sys

import ezdxf


def main():
    search, replacement, paths = sys.argv[1], sys.argv[2], sys.argv[3:]
    for path in paths:
        doc = ezdxf.readfile(path)
        for layout in doc.layouts:
            for text in layout.query("TEXT"):
                if search in text.dxf.text:
                    text.dxf.text = text.dxf.text.replace(search, replacement)
        doc.save()


if __name__ == "__main__":
    main()
