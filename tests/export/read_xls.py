"""Prints every cell of the first sheet of an .xls file as JSON lines, read by
xlrd: {"r": row, "c": col, "t": "text" | "number", "v": value}.
Used by the export tests as an independent reader."""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], logfile=sys.stderr, verbosity=0)
sheet = book.sheet_by_index(0)
print(json.dumps({"sheets": book.nsheets, "name": sheet.name,
                  "rows": sheet.nrows, "cols": sheet.ncols}))
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_EMPTY:
            continue
        kind = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number"}.get(cell.ctype, str(cell.ctype))
        print(json.dumps({"r": r, "c": c, "t": kind, "v": cell.value}, ensure_ascii=False))
