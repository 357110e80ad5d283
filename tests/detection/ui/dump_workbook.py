#!/usr/bin/env python3
# A workbook's first sheet as JSON, read with openpyxl (independent of the
# writer): merges, title row height, column widths, and per cell its text,
# font, colour, centring and whether all four sides have a thin line.
import json
import sys

from openpyxl import load_workbook

sheet = load_workbook(sys.argv[1]).worksheets[0]
cells = {}
for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=sheet.max_column):
    for c in row:
        sides = (c.border.left, c.border.right, c.border.top, c.border.bottom)
        colour = c.font.color.rgb if c.font.color is not None else None
        cells[c.coordinate] = {
            "text": c.value,
            "size": c.font.sz,
            "bold": bool(c.font.b),
            "rgb": colour[-6:] if isinstance(colour, str) else None,
            "centred": c.alignment.horizontal == "center" and c.alignment.vertical == "center",
            "bordered": all(s is not None and s.style == "thin" for s in sides),
        }
widths = {k: d.width for k, d in sheet.column_dimensions.items() if d.customWidth}
print(json.dumps({
    "sheets": len(sheet.parent.worksheets),
    "merged": sorted(str(r) for r in sheet.merged_cells.ranges),
    "title_height": sheet.row_dimensions[1].height,
    "widths": widths,
    "rows": sheet.max_row,
    "cells": cells,
}, ensure_ascii=False))
