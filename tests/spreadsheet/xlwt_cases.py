#!/usr/bin/env python3
"""Writes the workbooks of particular reading cases with xlwt and gnumeric's ssconvert, as
other programs would. Usage: xlwt_cases.py formulas|register-formulas|longtext|biff5 <out.xls>

formulas: a register sheet whose number, ID and limits are formulas, with one formula of each
  kind of result (number, text, boolean, error, empty text). xlwt stores no results, so the
  file is then recalculated and saved by ssconvert, as every spreadsheet program saves it.
register-formulas: the same without the row of odd results, a register that saves.
longtext: numbers, dates and times beside a text of 12,000 Chinese characters, which runs over
  several records of the shared string table.
biff5: a small register saved by ssconvert as an Excel 5.0/95 workbook."""
import datetime
import os
import subprocess
import sys
import tempfile

import xlwt

HEADER = ["编号", " 设备ID", " 方 位", "高温(℃)", "低温(℃)", "  备  注 "]


def formulas(sheet, odd_results=True):
    for c, text in enumerate(HEADER):
        sheet.write(0, c, text)
    sheet.write(1, 0, 5)
    sheet.write(1, 1, "0000A1")
    sheet.write(1, 2, "一号库房")
    sheet.write(1, 3, 30.5)
    sheet.write(1, 4, -5)
    sheet.write(2, 0, xlwt.Formula("A2+1"))
    sheet.write(2, 1, xlwt.Formula('"0000"&"B2"'))
    sheet.write(2, 2, xlwt.Formula('C2&"东"'))
    sheet.write(2, 3, xlwt.Formula("D2"))
    sheet.write(2, 4, xlwt.Formula("E2*2"))
    sheet.write(2, 5, xlwt.Formula("D2>E2"))
    if not odd_results:
        return
    sheet.write(3, 0, xlwt.Formula("1/0"))
    sheet.write(3, 1, xlwt.Formula('""'))
    sheet.write(3, 2, "empty text result on the left")


def longtext(sheet):
    text = "".join(chr(0x4E00 + (i * 37) % 20000) for i in range(12000))
    sheet.write(0, 0, "编号")
    sheet.write(0, 1, text)
    sheet.write(1, 0, 12)
    sheet.write(1, 1, 25.0625)
    sheet.write(1, 2, -1e-07)
    date = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    time = xlwt.easyxf(num_format_str="hh:mm:ss")
    both = xlwt.easyxf(num_format_str="yyyy/mm/dd hh:mm")
    sheet.write(2, 0, datetime.date(2007, 11, 30), date)
    sheet.write(2, 1, datetime.time(9, 30, 15), time)
    sheet.write(2, 2, datetime.datetime(2007, 11, 30, 23, 59, 59), both)
    sheet.write(3, 0, True)
    sheet.write(3, 1, text[:3])


def small(sheet):
    for c, text in enumerate(HEADER):
        sheet.write(0, c, text)
    for c, value in enumerate([7, "00FF07", "七号", 30, -5, "旧格式"]):
        sheet.write(1, c, value)


def convert(source, target, *options):
    subprocess.run(["ssconvert", *options, source, target], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    case, out = sys.argv[1], sys.argv[2]
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    if case == "longtext":
        longtext(sheet)
        book.save(out)
        return
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "source.xls")
        if case == "biff5":
            small(sheet)
            book.save(source)
            convert(source, out, "--export-type=Gnumeric_Excel:excel_biff7")
        else:
            formulas(sheet, case == "formulas")
            book.save(source)
            convert(source, out, "--recalc", "--export-type=Gnumeric_Excel:excel_biff8")


if __name__ == "__main__":
    main()
