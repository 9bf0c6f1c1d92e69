#!/usr/bin/env python3
"""Reads an XLSX file with the standard library (zipfile and the sheet XML) and prints, for
the first sheet, one line per cell that is not empty: "REF TYPE FORMAT BOLD VALUE", where TYPE
is n (number), s (shared text), b (boolean) or str, FORMAT the cell's number format code
("General" when it has none) and BOLD 1 or 0; then the frozen pane and the auto-filter."""
import sys
import xml.etree.ElementTree as ET
import zipfile

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}

with zipfile.ZipFile(sys.argv[1]) as book:
    strings = []
    if "xl/sharedStrings.xml" in book.namelist():
        for si in ET.fromstring(book.read("xl/sharedStrings.xml")).findall("m:si", NS):
            strings.append("".join(t.text or "" for t in si.iter("{%s}t" % NS["m"])))
    styles = ET.fromstring(book.read("xl/styles.xml"))
    formats = {int(f.get("numFmtId")): f.get("formatCode")
               for f in styles.findall("m:numFmts/m:numFmt", NS)}
    fonts = [f.find("m:b", NS) is not None for f in styles.findall("m:fonts/m:font", NS)]
    xfs = styles.findall("m:cellXfs/m:xf", NS)
    sheet = ET.fromstring(book.read("xl/worksheets/sheet1.xml"))
    for cell in sheet.iter("{%s}c" % NS["m"]):
        value = cell.find("m:v", NS)
        if value is None:
            continue
        kind = cell.get("t", "n")
        text = strings[int(value.text)] if kind == "s" else value.text
        xf = xfs[int(cell.get("s", "0"))]
        number_format = formats.get(int(xf.get("numFmtId", "0")), "General")
        bold = 1 if fonts[int(xf.get("fontId", "0"))] else 0
        print(cell.get("r"), kind, number_format, bold, text)
    pane = sheet.find("m:sheetViews/m:sheetView/m:pane", NS)
    print("pane", pane.get("state") if pane is not None else "none",
          pane.get("topLeftCell") if pane is not None else "")
    autofilter = sheet.find("m:autoFilter", NS)
    print("filter", autofilter.get("ref") if autofilter is not None else "none")
