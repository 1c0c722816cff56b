#!/usr/bin/env python3
"""Writes a workbook with xlwt, as another program would: numbers, text, Chinese text, empty
cells inside the table and a second sheet. Usage: xlwt_make.py <out.xls>"""
import sys

import xlwt


def main():
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("设备")
    header = ["编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "]
    for c, text in enumerate(header):
        sheet.write(0, c, text)
    rows = [
        [1, "28FF01", "一号库房", 25.0625, -10.5, "东墙"],
        [12, "A0B1C2", "Cold room 2", 30, 0.0625, None],
        [123456, "00FF10", None, 1e-07, 1234567.125, "remark with trailing blank "],
    ]
    for r, values in enumerate(rows, start=1):
        for c, value in enumerate(values):
            if value is not None:
                sheet.write(r, c, value)
    # Row 5 (index 4) stays empty; row 6 has a single cell in column C.
    sheet.write(5, 2, "孤单")
    other = book.add_sheet("Other")
    other.write(0, 0, "second sheet")
    book.save(sys.argv[1])


if __name__ == "__main__":
    main()
