"""Independent reader for the export tests (xlrd).

read_xls.py cells FILE   one line per non-empty cell of the first sheet:
                         "row col T <utf-8 hex>" for a text,
                         "row col N <repr>" for a number;
                         first line "sheets <n> <rows> <cols>".
read_xls.py stream FILE  the compound file's "Workbook" stream, read by
                         xlrd's own container reader: "<length> <sha256>".
"""
import hashlib
import sys

import xlrd
import xlrd.compdoc

mode, path = sys.argv[1], sys.argv[2]
if mode == "stream":
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=sys.stderr)
    data = doc.get_named_stream("Workbook")
    print(len(data), hashlib.sha256(data).hexdigest())
    sys.exit(0)

book = xlrd.open_workbook(path, logfile=sys.stderr, verbosity=0, ragged_rows=True)
sheet = book.sheet_by_index(0)
out = ["sheets %d %d %d" % (book.nsheets, sheet.nrows, sheet.ncols)]
for r in range(sheet.nrows):
    for c in range(sheet.row_len(r)):
        cell = sheet.cell(r, c)
        if cell.ctype == xlrd.XL_CELL_TEXT:
            out.append("%d %d T %s" % (r, c, cell.value.encode("utf-8").hex()))
        elif cell.ctype == xlrd.XL_CELL_NUMBER:
            out.append("%d %d N %r" % (r, c, cell.value))
        elif cell.ctype != xlrd.XL_CELL_EMPTY:
            out.append("%d %d ? %r" % (r, c, cell.value))
sys.stdout.write("\n".join(out) + "\n")
