#!/usr/bin/python3
"""Opens exported documents the way users do and checks that every value shows in its row and column.

    check_documents.py FORMAT EXPECTED.json WORKDIR

EXPECTED.json lists the documents written and, for each, its table as written: a list of rows, each a
list of cell texts (heading row first; "" for an empty cell). Every data cell starts with a marker
word rNNNcMM (its row and column), which the checks look for on the rendered pages.

FORMAT is docx, pages, xlsx or numbers. Each document is opened by LibreOffice (headless, with a
private profile in WORKDIR, one soffice at a time) and converted to PDF and to text (Writer) or CSV
(Calc); docx is also read with python-docx, xlsx with openpyxl. Prints what is wrong and exits 1.
"""
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import unicodedata
import xml.etree.ElementTree as ET

MARKER = re.compile(r"^r(\d{3})c(\d{2})$")
problems = []


def problem(text):
    if len(problems) < 40:
        print(text, file=sys.stderr)
    problems.append(text)


BIDI_CONTROLS = dict.fromkeys([0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068,
                               0x2069])


def squeeze(text):
    """The text without white space and direction marks, in compatibility form (Arabic
    presentation forms, ligatures)."""
    return "".join(unicodedata.normalize("NFKC", text).translate(BIDI_CONTROLS).split())


def mixed_script(token):
    """Right-to-left and CJK text: PDF text extraction may give its pieces in another order."""
    return any(0x0590 <= ord(c) <= 0x08FF or 0xFB1D <= ord(c) <= 0xFEFC or 0x2E80 <= ord(c) <= 0xD7AF
               or ord(c) >= 0x10000 for c in token)


def soffice(workdir, target, files, outdir):
    os.makedirs(outdir, exist_ok=True)
    home = os.path.join(workdir, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, HOME=home)
    command = ["soffice", "-env:UserInstallation=file://" + os.path.join(workdir, "profile"), "--headless",
               "--norestore", "--convert-to", target, "--outdir", outdir] + files
    subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1500,
                   check=True)


def converted(outdir, path, extension):
    name = os.path.splitext(os.path.basename(path))[0] + "." + extension
    result = os.path.join(outdir, name)
    if not os.path.exists(result):
        problem(f"{path}: LibreOffice wrote no {extension}")
        return None
    return result


def data_cells(grid):
    """The cells that start with their marker word."""
    for r, row in enumerate(grid[1:], start=1):
        for c, text in enumerate(row):
            if text.startswith(f"r{r:03d}c{c:02d}"):
                yield r, c, text


def check_in_order(label, grid, text):
    """Every cell's text (without white space) appears in the text, in reading order."""
    flat = squeeze(text)
    at = 0
    for r, row in enumerate(grid):
        for c, cell in enumerate(row):
            wanted = squeeze(cell)
            if not wanted:
                continue
            found = flat.find(wanted, at)
            if found < 0:
                where = "anywhere" if flat.find(wanted) < 0 else "in order"
                problem(f"{label}: row {r} column {c} {cell[:40]!r} not found {where}")
                continue
            at = found + len(wanted)


def check_pdf(label, grid, pdf, workdir, first_lines_only):
    """The rendered pages: every marker whole on a page, the markers of a row left to right in column
    order, every heading and every value present in the page text (with first_lines_only, the
    headings only: a spreadsheet prints a row at the height the file gives it, so a value of more
    lines than that is cut; spreadsheets' values are checked whole in their CSV text)."""
    bbox = os.path.join(workdir, os.path.basename(pdf) + ".html")
    subprocess.run(["pdftotext", "-bbox", pdf, bbox], check=True)
    tree = ET.parse(bbox)
    namespace = {"x": "http://www.w3.org/1999/xhtml"}
    positions = {}
    pages = tree.getroot().findall(".//x:page", namespace)
    for number, page in enumerate(pages):
        for word in page.findall("x:word", namespace):
            text = (word.text or "").strip()
            if MARKER.match(text):
                positions[text] = (number, float(word.get("xMin")), float(word.get("xMax")))
    widest_marker = 0.0
    for r, c, _ in data_cells(grid):
        marker = f"r{r:03d}c{c:02d}"
        if marker not in positions:
            problem(f"{label}: marker {marker} is not shown whole on any page (column too narrow or cut)")
        else:
            widest_marker = max(widest_marker, positions[marker][2] - positions[marker][1])
    for r in range(1, len(grid)):
        row = sorted((positions[f"r{r:03d}c{c:02d}"] + (c,)) for c in range(len(grid[r]))
                     if f"r{r:03d}c{c:02d}" in positions)
        by_page = {}
        for page, x_min, _, c in row:
            by_page.setdefault(page, []).append((c, x_min))
        for page, cells in by_page.items():
            cells.sort()
            for (c1, x1), (c2, x2) in zip(cells, cells[1:]):
                if not x2 > x1 + widest_marker:
                    problem(f"{label}: page {page + 1}, row {r}: column {c2} is not right of column {c1} "
                            f"by a marker's width ({x1:.1f} -> {x2:.1f})")
    # Every value's words are on the pages; right-to-left and CJK words may come out of the PDF
    # with their pieces reordered (by direction, or by the fallback font drawn apart): each of
    # their characters must be there. Their exact text and order are checked on the text export.
    text = subprocess.run(["pdftotext", "-raw", pdf, "-"], check=True, stdout=subprocess.PIPE).stdout.decode()
    flat = squeeze(text)
    characters = set(flat)
    for r, row in enumerate(grid):
        for c, cell in enumerate(row):
            if first_lines_only and r > 0:
                continue
            for token in unicodedata.normalize("NFKC", cell).split():
                wanted = squeeze(token)
                if not wanted or wanted in flat:
                    continue
                if mixed_script(wanted) and set(wanted) <= characters:
                    continue
                problem(f"{label}: page text lacks {token!r} of row {r} column {c}")
    return len(pages)


def check_python_docx(label, grid, path):
    import docx
    table = docx.Document(path).tables[0]
    if len(table.rows) != len(grid):
        problem(f"{label}: python-docx sees {len(table.rows)} rows, {len(grid)} written")
    for r, (row, expected) in enumerate(zip(table.rows, grid)):
        cells = row.cells
        if len(cells) != len(expected):
            problem(f"{label}: python-docx sees {len(cells)} cells in row {r}, {len(expected)} written")
        for c, (cell, text) in enumerate(zip(cells, expected)):
            if cell.text != text:
                problem(f"{label}: python-docx row {r} column {c}: {cell.text[:40]!r} instead of {text[:40]!r}")


def check_openpyxl(label, grid, path):
    import openpyxl
    sheet = openpyxl.load_workbook(path, read_only=True).active
    rows = [list(row) for row in sheet.iter_rows(values_only=True)]
    if len(rows) < len(grid):
        problem(f"{label}: openpyxl sees {len(rows)} rows, {len(grid)} written")
    for r, expected in enumerate(grid[: len(rows)]):
        for c, text in enumerate(expected):
            value = rows[r][c] if c < len(rows[r]) else None
            if (value or "") != text:
                problem(f"{label}: openpyxl row {r} column {c}: {value!r} instead of {text[:40]!r}")


def check_csv(label, grid, path):
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f))
    if len(rows) != len(grid):
        problem(f"{label}: LibreOffice shows {len(rows)} rows, {len(grid)} written")
    for r, (row, expected) in enumerate(zip(rows, grid)):
        row = row + [""] * (len(expected) - len(row))
        for c, text in enumerate(expected):
            if row[c] != text:
                problem(f"{label}: LibreOffice row {r} column {c}: {row[c][:40]!r} instead of {text[:40]!r}")


def main():
    kind, expected_path, workdir = sys.argv[1:4]
    with open(expected_path, encoding="utf-8") as f:
        documents = json.load(f)
    files = [d["path"] for d in documents]
    pdf_dir = os.path.join(workdir, "pdf")
    soffice(workdir, "pdf", files, pdf_dir)
    writer = kind in ("docx", "pages")
    text_dir = os.path.join(workdir, "text")
    if writer:
        soffice(workdir, "txt:Text (encoded):UTF8", files, text_dir)
    else:
        soffice(workdir, "csv:Text - txt - csv (StarCalc):44,34,76,1", files, text_dir)
    summary = []
    for document in documents:
        path, grid = document["path"], document["grid"]
        label = f"{os.path.basename(path)} ({len(grid[0])} columns)"
        if kind == "docx":
            check_python_docx(label, grid, path)
        if kind == "xlsx":
            check_openpyxl(label, grid, path)
        pdf = converted(pdf_dir, path, "pdf")
        pages = check_pdf(label, grid, pdf, workdir, not writer) if pdf else 0
        if writer:
            text = converted(text_dir, path, "txt")
            if text:
                with open(text, encoding="utf-8") as f:
                    check_in_order(label + " as text", grid, f.read())
        else:
            table = converted(text_dir, path, "csv")
            if table:
                check_csv(label + " as CSV", grid, table)
        summary.append(f"{label}: {len(grid) - 1} rows on {pages} PDF pages")
        keep = os.environ.get("ROLVANE_KEEP_CHECKED_DOCUMENTS")
        if keep and pdf:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(expected_path, keep)
            shutil.copy(pdf, keep)
            shutil.copy(path, keep)
    print("\n".join(summary))
    if problems:
        print(f"{len(problems)} problems", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
