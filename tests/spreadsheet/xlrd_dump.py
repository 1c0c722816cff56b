#!/usr/bin/env python3
"""Prints what xlrd finds in an .xls file as JSON: BIFF version, code page, sheets with their
cells, and every warning xlrd logged while reading (with formatting info, so the font, format
and style records are parsed as well)."""
import io
import json
import sys

import xlrd


def cell_value(cell):
    if cell.ctype == xlrd.XL_CELL_EMPTY:
        return None
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return {"text": cell.value}
    return {"type": cell.ctype, "value": cell.value}


def main():
    log = io.StringIO()
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=log, verbosity=0)
    sheets = []
    for sheet in book.sheets():
        sheets.append({
            "name": sheet.name,
            "nrows": sheet.nrows,
            "ncols": sheet.ncols,
            "rows": [[cell_value(c) for c in sheet.row(r)] for r in range(sheet.nrows)],
        })
    json.dump({
        "biff_version": book.biff_version,
        "codepage": book.codepage,
        "encoding": book.encoding,
        "fonts": len(book.font_list),
        "xfs": len(book.xf_list),
        "sheets": sheets,
        "log": log.getvalue(),
    }, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
