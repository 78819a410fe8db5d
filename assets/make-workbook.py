#!/usr/bin/python3
"""Builds the configuration workbook datacfg-sp.xls from its two CSV sources.

    /usr/bin/python3 assets/make-workbook.py            # rebuilds assets/datacfg-sp.xls
    /usr/bin/python3 assets/make-workbook.py --parset P.csv --modelcode M.csv --out X.xls

Each CSV becomes one sheet of the same name ("tester-parset", "tester-modelcode");
its first line is the sheet's header row. Cells of the text columns are written
as text. Cells of the other columns are written as numbers when they read as a
number, else as text (the tests use that to build damaged workbooks); an empty
field leaves its cell blank.

The output depends only on the CSV contents: xlwt stamps no time, and the
document owner is pinned, so the shipped workbook rebuilds byte for byte.
"""
import argparse
import csv
import os
import sys

import xlwt

TEXT_COLUMNS = {"Parameter", "Model", "Name", "Standard", "Code-Old"}
SHEETS = ("tester-parset", "tester-modelcode")


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return [row for row in csv.reader(f)]


def as_number(text):
    try:
        value = float(text)
    except ValueError:
        return None
    return value if value == value and abs(value) != float("inf") else None


def add_sheet(book, name, rows):
    sheet = book.add_sheet(name)
    if not rows:
        return
    header = rows[0]
    for c, title in enumerate(header):
        sheet.write(0, c, title)
    for r, row in enumerate(rows[1:], start=1):
        for c, text in enumerate(row):
            if text == "":
                continue
            column = header[c] if c < len(header) else ""
            number = None if column in TEXT_COLUMNS else as_number(text)
            sheet.write(r, c, text if number is None else number)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--parset", default=os.path.join(here, "tester-parset.csv"))
    parser.add_argument("--modelcode", default=os.path.join(here, "tester-modelcode.csv"))
    parser.add_argument("--out", default=os.path.join(here, "datacfg-sp.xls"))
    args = parser.parse_args(argv)

    book = xlwt.Workbook(encoding="utf-8")
    book.owner = "Zelvan"
    add_sheet(book, SHEETS[0], read_rows(args.parset))
    add_sheet(book, SHEETS[1], read_rows(args.modelcode))
    book.save(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
