#!/usr/bin/python3
"""Round trip of `rolvane export` through every text and spreadsheet format.

Generates an address book of messy contacts as one vCard file (3.0 cards and a few 2.1 ones),
imports it with `rolvane import` and exports it with all information as csv, txt, html, vcard and
xlsx (and with chosen columns as csv and html). Each output is read back by a reader that knows the
format, not the program: Python's csv module, the text table's own layout, an XML parser for the XHTML, python3-vobject and the
program's own import for the vCards, openpyxl for the workbook. Every value of every contact is
compared with the record expected from what was generated.

    export_round_trip.py ROLVANE [--count N] [--seed S] [--keep DIR]

Exits 77 (skipped) when a module it needs is missing.
"""

import argparse
import contextlib
import csv
import glob
import os
import random
import re
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

try:
    import openpyxl
    import vobject
except ImportError as missing:
    print("SKIPPED: %s (install python3-openpyxl and python3-vobject)" % missing)
    sys.exit(77)

HOME, WORK, OTHER, HOMEPAGE = "_$!<Home>!$_", "_$!<Work>!$_", "_$!<Other>!$_", "_$!<HomePage>!$_"
MOBILE, IPHONE, MAIN = "_$!<Mobile>!$_", "iPhone", "_$!<Main>!$_"
HOMEFAX, WORKFAX, PAGER = "_$!<HomeFAX>!$_", "_$!<WorkFAX>!$_", "_$!<Pager>!$_"
RELATIONS = ["Father", "Mother", "Parent", "Brother", "Sister", "Child", "Friend", "Spouse", "Partner",
             "Assistant", "Manager"]
IM_SERVICES = [("AIM", "AIMInstant", "AIM"), ("QQ", "QQInstant", "QQ"),
               ("Google Talk", "GoogleTalkInstant", "GoogleTalk"), ("Gadu-Gadu", "GaduGaduInstant", "GaduGadu"),
               ("Jabber", "JabberInstant", "Jabber"), ("MSN", "MSNInstant", "MSN"),
               ("Facebook", "FacebookInstant", "Facebook"), ("Skype", "SkypeInstant", "Skype"),
               ("Yahoo", "YahooInstant", "Yahoo"), ("ICQ", "ICQInstant", "ICQ")]  # key, store, X-SERVICE-TYPE
SOCIAL_KEYS = {"Twitter": "Twitter", "Facebook": "Facebook", "MySpace": "Myspace", "Flickr": "Flickr",
               "LinkedIn": "LinkedIn"}  # store service -> record key
PHONE_KEYS = {MOBILE: "Mobile", IPHONE: "iPhone", MAIN: "Main Phone", HOMEFAX: "Home Fax", WORKFAX: "Work Fax",
              PAGER: "Pager", WORK: "Work Phone", HOME: "Home Phone"}
ADDRESS_PARTS = ["Street", "City", "State", "ZIP", "Country", "Country Code"]
SINGLE_KEYS = ["First Name", "Last Name", "Middle Name", "Preffix", "Suffix", "Nickname", "Maiden Name",
               "Phonetic First Name", "Phonetic Last Name", "Job Title", "Company", "Department", "Note", "Birthday"]

# The all-information headings: the base list, and the variants of the CSV and xlsx writers.
BASE_HEADINGS = (
    ["First Name", "Last Name", "Home Email", "Work Email", "Other Email", "Mobile", "iPhone", "Main Phone",
     "Home Fax", "Work Fax", "Pager", "Work Phone", "Home Phone"]
    + [p + part for p in ("Home ", "Work ", "Other ") for part in ADDRESS_PARTS]
    + [p + key for p in ("Home ", "Work ", "Other ") for key, _, _ in IM_SERVICES]
    + ["Twitter", "Facebook", "Myspace", "Flickr", "LinkedIn", "Department", "Note", "Suffix", "Job Title",
       "Birthday", "Nickname", "Maiden Name", "Middle Name", "Company", "FullName", "Home URL", "Work URL",
       "Home Page"] + RELATIONS)
CSV_HEADINGS = BASE_HEADINGS[:BASE_HEADINGS.index("Middle Name")] + ["Phonetic First Name", "Phonetic Last Name"] \
    + BASE_HEADINGS[BASE_HEADINGS.index("Middle Name"):]
XLSX_HEADINGS = BASE_HEADINGS + ["Maiden Name", "Middle Name"]
CHOSEN_COLUMNS = ["Note", "Last Name", "Preffix", "Phonetic Last Name", "First Name", "Home City", "Birthday",
                  "Other Skype", "Work Email", "iPhone"]


# ---------------------------------------------------------------------------------------------
# Generator: contacts as the store holds them (single values, labelled lists), with the vCard
# spelling chosen for each entry.

# "_x0041_" looks like a spreadsheet character escape. (openpyxl drops every "x005F_" it reads, so a
# text holding "_x005F_" cannot come back through it whatever the workbook says.)
WORDS = ["Ann", "bob", "Zoë", "Łukasz", "Ærøskøbing", "José", "Müller", "Straße", "Ōsaka", "東京都", "李小龍",
         "김민준", "Владимир", "Ελένη", "שלום", "مرحبا", "😀", "👩‍👩‍👧", "🇩🇪", "e\u0301", "O'Brien", "van der Berg",
         "a&b", "<tag>", "x>y", "50%", "#1", "tab\there", "_x0041_", "ﬁ", "\u2028", "nel\u0085", "—", "€"]
SEPARATORS = [" ", " ", ", ", "; ", ",", ";", " \"", "\" ", "\\", ":", " - ", "/", "\\n", "\\\\"]
CONTROLS = ["\x01", "\x08", "\x0b", "\x0c", "\x1b", "\x1f", "\uffff"]  # all left out of XML


def messy(rng, breaks=False):
    """A text value: never empty, often with characters that one of the formats must quote or escape."""
    roll = rng.random()
    if roll < 0.03:
        return rng.choice([" ", "  ", "   ", "\t", "\x0b"])  # the last one is nothing in XML
    parts = [rng.choice(WORDS) for _ in range(rng.randint(1, 4))]
    text = parts[0]
    for part in parts[1:]:
        text += (rng.choice(["\n", "\n\n", " \n "]) if breaks and rng.random() < 0.4 else rng.choice(SEPARATORS))
        text += part
    if rng.random() < 0.02:
        text = (text + " ") * rng.randint(40, 120)  # several hundred characters, folded many times
    if rng.random() < 0.1:
        text = " " * rng.randint(1, 3) + text
    if rng.random() < 0.1:
        text += " " * rng.randint(1, 3)
    if rng.random() < 0.02:
        at = rng.randint(0, len(text))
        text = text[:at] + rng.choice(CONTROLS) + text[at:]
    return text


def maybe(rng, chance, make):
    return make() if rng.random() < chance else None


def make_contact(rng, index):
    """A contact as the store will hold it: single values under their record keys, labelled lists.
    Entries that a vCard spells in more than one way carry the spelling to use."""
    # A few cards are vCard 2.1, whose quoted-printable notes can hold CR LF and lone CR line breaks.
    c = {"uid": "round-trip-%05d" % index, "version": "2.1" if rng.random() < 0.05 else "3.0"}
    for key, chance in (("First Name", 0.85), ("Last Name", 0.9), ("Middle Name", 0.2), ("Preffix", 0.15),
                        ("Suffix", 0.15), ("Nickname", 0.2), ("Maiden Name", 0.05), ("Phonetic First Name", 0.05),
                        ("Phonetic Last Name", 0.05), ("Job Title", 0.3), ("Company", 0.4), ("Department", 0.15)):
        c[key] = maybe(rng, chance, lambda: messy(rng))
    c["notes"] = [messy(rng, breaks=True) for _ in range(rng.choice([0, 0, 0, 1, 1, 2]))]
    if index == 7:
        c["notes"] = ['Zoë, "a"; 東京都\n' * 40000]  # larger than any buffer a writer fills at once
    if c["version"] == "2.1":
        c["notes"] = [note.replace("\n", rng.choice(["\r\n", "\r\n", "\r"])) for note in c["notes"]]
    c["bday"] = maybe(rng, 0.3, lambda: rng.choice([(1, 1, 1), (1604, 2, 29), (2000, 2, 29), (9999, 12, 31)])
                      if rng.random() < 0.05 else (rng.randint(1900, 2024), rng.randint(1, 12), rng.randint(1, 28)))
    c["email"] = [(rng.choice([HOME, HOME, WORK, OTHER, "Ferienhaus"]), messy(rng) + "@example.org")
                  for _ in range(rng.choice([0, 1, 1, 2, 3]))]
    c["phone"] = [(rng.choice([MOBILE, IPHONE, MAIN, HOMEFAX, WORKFAX, PAGER, WORK, HOME, OTHER, "Boot"]),
                   rng.choice(["+1 (555) 01", "0171 ", "555,", "+49 30 ", "(0) "]) + str(rng.randint(0, 10 ** 8))
                   + rng.choice(["", " ext. 7", ";p", " 内线"])) for _ in range(rng.choice([0, 1, 2, 3]))]
    c["address"] = []
    for _ in range(rng.choice([0, 0, 1, 1, 2])):
        parts = {part: maybe(rng, 0.6, lambda: messy(rng, breaks=part == "Street")) for part in ADDRESS_PARTS[:5]}
        parts["Country Code"] = maybe(rng, 0.3, lambda: rng.choice(["de", "us", "jp", "fr", "no"]))
        if not any(parts.values()):
            parts["City"] = messy(rng)
        extended = maybe(rng, 0.1, lambda: messy(rng))  # read as the street's first line
        c["address"].append((rng.choice([HOME, HOME, WORK, OTHER, "Ferienhaus"]), parts, extended))
    c["url"] = [(rng.choice([HOME, WORK, HOMEPAGE, OTHER]), "https://example.org/" + messy(rng))
                for _ in range(rng.choice([0, 0, 1, 2]))]
    c["related"] = [(rng.choice(["_$!<%s>!$_" % r for r in RELATIONS] + ["Cousin"]), messy(rng))
                    for _ in range(rng.choice([0, 0, 1, 2]))]
    c["im"] = [(rng.choice([HOME, WORK, OTHER, "Spiel"]), rng.choice([s for _, s, _ in IM_SERVICES] + ["Signal"]),
                messy(rng), rng.random() < 0.3) for _ in range(rng.choice([0, 0, 1, 2, 3]))]  # last: X-AIM style
    c["social"] = [(rng.choice([HOME, HOME, OTHER]), rng.choice(list(SOCIAL_KEYS) + ["Instagram"]),
                    rng.choice(["ann", "Zoë.M", "李", "a_b", "x,y;z:w", "o'neil", "q\"uote"]) + str(rng.randint(0, 99)))
                   for _ in range(rng.choice([0, 0, 1, 2]))]
    if index == 3:  # nothing but its unique id
        c.update({k: None for k in SINGLE_KEYS if k in c}, notes=[], bday=None)
        c.update({k: [] for k in ("email", "phone", "address", "url", "related", "im", "social")})
    return c


# ---------------------------------------------------------------------------------------------
# vCard text of a generated contact.

def escape(text):
    return text.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;").replace("\n", "\\n")


def param(text):
    return '"' + text.replace("^", "^^").replace('"', "^'").replace("\n", "^n") + '"'


def quoted_printable(text):
    return "".join(chr(b) if chr(b).isalnum() and b < 128 else "=%02X" % b for b in text.encode("utf-8"))


def fold(line):
    out, current = [], b""
    for ch in line:
        piece = ch.encode("utf-8")
        if len(current) + len(piece) > 75:
            out.append(current)
            current = b" "
        current += piece
    out.append(current)
    return b"\r\n".join(out).decode("utf-8")


TEL_TYPES = {MOBILE: "CELL", IPHONE: "IPHONE", MAIN: "MAIN", HOMEFAX: "HOME,FAX", WORKFAX: "fax;TYPE=work",
             PAGER: "PAGER", WORK: "WORK,VOICE", HOME: "home", OTHER: "VOICE"}


OLD_IM_PROPERTIES = {"AIMInstant": "X-AIM", "JabberInstant": "X-JABBER", "MSNInstant": "X-MSN",
                     "YahooInstant": "X-YAHOO", "ICQInstant": "X-ICQ", "SkypeInstant": "X-SKYPE", "QQInstant": "X-QQ",
                     "GoogleTalkInstant": "X-GOOGLE-TALK", "GaduGaduInstant": "X-GADUGADU"}


OLD_IM_NAMES = {name: service for service, name in OLD_IM_PROPERTIES.items()}


def vcard_of(rng, c):
    lines = ["BEGIN:VCARD", "VERSION:" + c["version"], "UID:" + c["uid"]]
    groups = iter(range(1, 1000))

    def grouped(line, label, extra=None):
        g = "item%d" % next(groups)
        lines.append(g + "." + line)
        if extra:
            lines.append(g + "." + extra)
        lines.append(g + ".X-ABLabel:" + escape(label))

    def text(key):
        return escape(c[key]) if c[key] else ""

    lines.append("N:" + ";".join(text(k) for k in ("Last Name", "First Name", "Middle Name", "Preffix", "Suffix")))
    lines.append("FN:whatever")
    for key, prop in (("Nickname", "NICKNAME"), ("Maiden Name", "X-MAIDENNAME"), ("Job Title", "TITLE"),
                      ("Phonetic First Name", "X-PHONETIC-FIRST-NAME"), ("Phonetic Last Name", "X-PHONETIC-LAST-NAME")):
        if c[key]:
            lines.append(prop + ":" + text(key))
    if c["Company"] or c["Department"]:
        lines.append("ORG:" + text("Company") + ";" + text("Department"))
    if c["version"] == "2.1":
        lines += ["NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:" + quoted_printable(escape(n)) for n in c["notes"]]
    else:
        lines += ["NOTE:" + escape(note) for note in c["notes"]]
    if c["bday"]:
        lines.append(rng.choice(["BDAY:%04d-%02d-%02d", "BDAY;VALUE=date:%04d%02d%02d"]) % c["bday"])
    for label, value in c["email"]:
        types = {HOME: ";TYPE=INTERNET;TYPE=HOME", WORK: ";type=internet,work", OTHER: ";TYPE=INTERNET"}
        if label in types:
            lines.append("EMAIL" + types[label] + ":" + escape(value))
        else:
            grouped("EMAIL;TYPE=INTERNET:" + escape(value), label)
    for label, value in c["phone"]:
        if label in TEL_TYPES:
            lines.append("TEL;TYPE=%s:%s" % (TEL_TYPES[label], escape(value)))
        else:
            grouped("TEL:" + escape(value), label)
    for label, parts, extended in c["address"]:
        adr = ";".join(escape(x or "") for x in [None, extended] + [parts[p] for p in ADDRESS_PARTS[:5]])
        adr = "ADR" + {HOME: ";TYPE=HOME", WORK: ";TYPE=WORK"}.get(label, "") + ":" + adr
        code = parts["Country Code"]
        if code or label not in (HOME, WORK, OTHER):
            grouped(adr, label, code and "X-ABADR:" + code)
        else:
            lines.append(adr)
    for label, value in c["url"]:
        lines.append("URL" + {HOME: ";TYPE=HOME", WORK: ";TYPE=WORK", HOMEPAGE: "", OTHER: ";TYPE=OTHER"}[label]
                     + ":" + escape(value))
    for label, value in c["related"]:
        grouped("X-ABRELATEDNAMES:" + escape(value), label)
    names = {store: vcard_name for _, store, vcard_name in IM_SERVICES}
    for label, service, user, old_style in c["im"]:
        types = {HOME: ";TYPE=HOME", WORK: ";TYPE=WORK", OTHER: ""}
        if old_style and service in OLD_IM_PROPERTIES:
            line = OLD_IM_PROPERTIES[service] + types.get(label, "") + ":" + escape(user)
        else:
            line = "IMPP;X-SERVICE-TYPE=%s%s:x-apple:%s" % (names.get(service, service), types.get(label, ""),
                                                              escape(user))
        if label in types:
            lines.append(line)
        else:
            grouped(line, label)
    for label, service, user in c["social"]:
        line = "X-SOCIALPROFILE;TYPE=%s;X-USER=%s:https://example.org/%s" % (service.lower(), param(user),
                                                                             escape(user))
        if label == HOME:
            grouped(line, label)
        else:
            lines.append(line)
    lines.append("END:VCARD")
    return "".join((fold(line) if c["version"] == "3.0" else line) + "\r\n" for line in lines)


# ---------------------------------------------------------------------------------------------
# Expectations: the store person a contact becomes, and the record built from a store person.

def person_of(c):
    """The store person of a generated contact, in the shape record_of reads."""
    p = {k: c[k] for k in SINGLE_KEYS if k in c}
    if not any(c[k] for k in ("Last Name", "First Name", "Middle Name", "Preffix", "Suffix")):
        p["First Name"] = "whatever"  # a card without names in N is named by its FN
    p["Note"] = "\n".join(c["notes"]) if c["notes"] else None
    p["Birthday"] = "%04d-%02d-%02d" % c["bday"] if c["bday"] else None
    for key in ("email", "phone", "url", "related"):
        p[key] = c[key]
    # A profile that no item label or TYPE names is kept under the home label.
    p["social"] = [(HOME if label == OTHER else label, service, user) for label, service, user in c["social"]]
    p["im"] = [(label, service, user) for label, service, user, _ in c["im"]]
    p["address"] = []
    for label, parts, extended in c["address"]:
        parts = {k: v for k, v in parts.items() if v}
        if extended:
            parts["Street"] = extended + ("\n" + parts["Street"] if "Street" in parts else "")
        p["address"].append((label, parts))
    return p


def record_of(p):
    """The contact record of a store person: every key it has a value for, later entries winning."""
    r = {k: p[k] for k in SINGLE_KEYS if p.get(k)}
    if r.get("Birthday", "").startswith("1604-"):  # a birthday without a year shows as --MM-DD
        r["Birthday"] = "--" + r["Birthday"][5:]
    # Both parts joined; where one is missing, the name the window shows.
    if p.get("First Name") and p.get("Last Name"):
        r["FullName"] = p["First Name"] + p["Last Name"]
    else:
        r["FullName"] = p.get("First Name") or p.get("Last Name") or p.get("Company") or "No Name"
    prefix = {HOME: "Home ", WORK: "Work "}
    for label, value in p["email"]:
        r[prefix.get(label, "Other ") + "Email"] = value
    for label, value in p["url"]:
        key = {HOME: "Home URL", WORK: "Work URL", HOMEPAGE: "Home Page"}.get(label)
        if key:
            r[key] = value
    for label, value in p["phone"]:
        if label in PHONE_KEYS:
            r[PHONE_KEYS[label]] = value
    for label, parts in p["address"]:
        for part, value in parts.items():
            r[prefix.get(label, "Other ") + part] = value
    for label, value in p["related"]:
        if label.startswith("_$!<") and label[4:-4] in RELATIONS:
            r[label[4:-4]] = value
    for label, service, user in p["social"]:
        if label == HOME and service in SOCIAL_KEYS:
            r[SOCIAL_KEYS[service]] = user
    keys = {store: key for key, store, _ in IM_SERVICES}
    for label, service, user in p["im"]:
        if service in keys:
            r[prefix.get(label, "Other ") + keys[service]] = user
    return r


XML_FORBIDDEN = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def without_xml_forbidden(value):
    """The characters XML 1.0 cannot hold are left out of xlsx and HTML; what remains may be nothing."""
    if value is None:
        return None
    return XML_FORBIDDEN.sub("", value) or None


def line_feeds_only(value):
    """vCard text has a single line-break escape: CR LF and a lone CR in a value come back as LF."""
    return value.replace("\r\n", "\n").replace("\r", "\n") if value is not None else None


def columns_heading_order(keys):
    """Headings of a table laid out from record keys: First Name to the front, Last Name after it."""
    headings = []
    for key in keys:
        if key == "First Name":
            headings.insert(0, key)
        elif key == "Last Name":
            headings.insert(1 if headings else 0, key)
        else:
            headings.append(key)
    return headings


def union_of_keys(records):
    keys = []
    for record in records:
        keys += [k for k in record if k not in keys]
    return keys


# ---------------------------------------------------------------------------------------------
# Readers: each gives (headings, rows), a row holding one cell per heading (None when empty).

class LayoutError(Exception):
    pass


PHONE_LIKE = re.compile(r"\+?[0-9 ()./-]*[0-9][0-9 ()./-]*\Z")


def spreadsheet_formula(text):
    """Whether a spreadsheet opening the CSV would take the cell for a formula."""
    if not text:
        return False
    if text[0] in "=@\t\r":
        return True
    return text[0] in "+-" and text != "-" and not PHONE_LIKE.match(text)


def unguarded(cell):
    """A cell as written to be opened in a spreadsheet: a formula has an apostrophe in front (one
    more where the text already starts with apostrophes before it)."""
    if cell and len(cell) > 1 and cell[0] == "'" and spreadsheet_formula(cell[1:].lstrip("'")):
        return cell[1:]
    return cell


def read_csv(path):
    csv.field_size_limit(1 << 30)
    with open(path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f, strict=True))
    for number, row in enumerate(rows, 1):
        if not row or row[-1] != "":
            raise LayoutError("line %d of %s does not end with a comma: %r" % (number, path, row[-3:]))
    return rows[0][:-1], [[unguarded(cell) or None for cell in row[:-1]] for row in rows[1:]]


def read_txt(path, expected_rows, gap):
    """Headings are "heading" followed by gap. Cells are "value" followed by a space, or a space and
    two double quotes when empty. Values are written as they are, so a value may itself hold '" ';
    the expected value says where it ends."""
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    head_end = text.index("\n")
    headings = re.findall('"([^"]*)"' + gap, text[:head_end])
    if "".join('"%s"%s' % (h, gap) for h in headings) != text[:head_end]:
        raise LayoutError("heading line of %s: %r" % (path, text[:200]))
    at, rows = head_end + 1, []
    for number, want in enumerate(expected_rows):
        row = []
        for heading in headings:
            value = want.get(heading)
            if text.startswith(' ""', at):
                row.append(None)
                at += 3
            elif text.startswith('"', at):
                if value is not None and text.startswith(value + '" ', at + 1):
                    end = at + 1 + len(value)
                else:
                    end = text.find('" ', at + 1)
                row.append(text[at + 1:end])
                at = end + 2
            else:
                raise LayoutError("contact %d, %s: no cell at %r" % (number, heading, text[at:at + 60]))
        if not text.startswith("\n", at):
            raise LayoutError("contact %d: line goes on with %r" % (number, text[at:at + 60]))
        rows.append(row)
        at += 1
    if at != len(text):
        raise LayoutError("%d characters after the last contact: %r" % (len(text) - at, text[at:at + 60]))
    return headings, rows


XHTML = "{http://www.w3.org/1999/xhtml}"


def read_html(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if not re.match(r'<\?xml version="1\.0" encoding="utf-8"\?>\s*<!DOCTYPE html PUBLIC '
                    r'"-//W3C//DTD XHTML 1\.0 Transitional//EN" '
                    r'"http://www\.w3\.org/TR/xhtml1/DTD/xhtml1-transitional\.dtd">', text, re.I):
        raise LayoutError("%s does not start as an XHTML 1.0 Transitional document: %r" % (path, text[:200]))
    root = ET.fromstring(text)  # raises on anything that is not well-formed
    if root.tag != XHTML + "html" or root.find(XHTML + "head/" + XHTML + "title").text != "Address Book Contacts":
        raise LayoutError("%s: root %s, or no title" % (path, root.tag))
    rows = root.findall("%sbody/%stable/%str" % (XHTML, XHTML, XHTML))
    headings = [th.text for th in rows[0]]
    classes = [h.lower() for h in headings]
    cells = []
    for number, tr in enumerate(rows):
        tag = XHTML + ("th" if number == 0 else "td")
        if [cell.tag for cell in tr] != [tag] * len(tr) or [cell.get("class") for cell in tr] != classes:
            raise LayoutError("row %d: not all %s cells, or not classed by their heading" % (number, tag))
        cells.append([cell.text or None for cell in tr])
    return headings, cells[1:]


def read_xlsx(path):
    book = openpyxl.load_workbook(path, read_only=True)
    rows = [list(row) for row in book.worksheets[0].iter_rows(values_only=True)]
    book.close()
    headings = rows[0]
    return headings, [[cell or None for cell in (row + [None] * len(headings))[:len(headings)]] for row in rows[1:]]


def decode_parameter(text):
    return re.sub(r"\^(['n^])", lambda m: {"'": '"', "n": "\n", "^": "^"}[m.group(1)], text)


VCARD_TEL_LABELS = [("IPHONE", IPHONE), ("CELL", MOBILE), ("MAIN", MAIN), ("HOME,FAX", HOMEFAX),
                    ("WORK,FAX", WORKFAX), ("PAGER", PAGER), ("WORK", WORK), ("HOME", HOME)]
VCARD_IM_SERVICES = {vcard_name.lower(): store for _, store, vcard_name in IM_SERVICES}


def person_of_vcard(card):
    """The store person that a vCard read with vobject describes, by the usual TYPE and item-label
    conventions of address-book exports."""
    # In the order of the card (vobject gathers the lines of one name together).
    lines = sorted(card.lines(), key=lambda l: l.lineNumber or 0)
    labels = {l.group.lower(): l.value for l in lines if l.group and l.name == "X-ABLABEL"}
    codes = {l.group.lower(): l.value for l in lines if l.group and l.name == "X-ABADR"}
    p = {k: None for k in SINGLE_KEYS}
    for key in ("email", "phone", "url", "related", "address", "im", "social"):
        p[key] = []

    def component(value):
        """One component of N, ADR or ORG; an unescaped comma would have made it a list."""
        return "<split into %r>" % value if isinstance(value, list) else value

    for l in lines:
        types = {t.strip().upper() for v in l.params.get("TYPE", []) for t in v.split(",")}
        label = labels.get((l.group or "").lower())

        def typed(default):
            return label or (HOME if "HOME" in types else WORK if "WORK" in types else default)

        if l.name == "N":
            n = l.value
            for key, value in zip(["Last Name", "First Name", "Middle Name", "Preffix", "Suffix"],
                                  [n.family, n.given, n.additional, n.prefix, n.suffix]):
                p[key] = component(value) or None
        elif l.name == "ORG":
            p["Company"], p["Department"] = (component(x) or None for x in (l.value + ["", ""])[:2])
        elif l.name in ("NICKNAME", "X-MAIDENNAME", "X-PHONETIC-FIRST-NAME", "X-PHONETIC-LAST-NAME", "TITLE", "NOTE"):
            key = {"NICKNAME": "Nickname", "X-MAIDENNAME": "Maiden Name", "TITLE": "Job Title", "NOTE": "Note",
                   "X-PHONETIC-FIRST-NAME": "Phonetic First Name", "X-PHONETIC-LAST-NAME": "Phonetic Last Name"}
            # Several NOTE lines (as a card said them) are one note.
            p[key[l.name]] = p[key[l.name]] + "\n" + l.value if l.name == "NOTE" and p.get("Note") else l.value
        elif l.name == "BDAY" and not p["Birthday"]:  # the first; a year kept back is said again as --MMDD
            digits = re.sub(r"\D", "", l.value)
            p["Birthday"] = "%s-%s-%s" % (digits[:4], digits[4:6], digits[6:8])
        elif l.name == "EMAIL":
            p["email"].append((typed(OTHER), l.value))
        elif l.name == "TEL":
            found = [store for t, store in VCARD_TEL_LABELS if set(t.split(",")) <= types]
            p["phone"].append((label or (found[0] if found else OTHER), l.value))
        elif l.name == "URL":
            p["url"].append((typed(OTHER if "OTHER" in types else HOMEPAGE), l.value))
        elif l.name == "X-ABRELATEDNAMES":
            p["related"].append((label or OTHER, l.value))
        elif l.name == "ADR":
            a = l.value
            street = "\n".join(x for x in (component(a.box), component(a.extended), component(a.street)) if x)
            parts = dict(zip(ADDRESS_PARTS, [street, component(a.city), component(a.region), component(a.code),
                                             component(a.country), codes.get((l.group or "").lower())]))
            p["address"].append((typed(OTHER), {k: v for k, v in parts.items() if v}))
        elif l.name == "IMPP":
            service = VCARD_IM_SERVICES.get(l.params.get("X-SERVICE-TYPE", [""])[0].lower())
            p["im"].append((typed(OTHER), service, l.value.split(":", 1)[1]))
        elif l.name in OLD_IM_NAMES:  # an address that came in under another program's property goes back so
            p["im"].append((typed(OTHER), OLD_IM_NAMES[l.name], l.value))
        elif l.name == "X-SOCIALPROFILE":
            service = {s.upper(): s for s in SOCIAL_KEYS}.get(next(iter(types), ""))
            user = decode_parameter(l.params.get("X-USER", [""])[0])
            p["social"].append((typed(HOME), service, user))
    return p


def read_vcards(folder):
    paths = glob.glob(os.path.join(folder, "export_*.vcf"))
    numbers = sorted(int(re.search(r"export_(\d+)\.vcf$", path).group(1)) for path in paths)
    if numbers != list(range(len(paths))):
        raise LayoutError("the vCard files are not export_0.vcf to export_%d.vcf" % (len(paths) - 1))
    records = []
    for n in numbers:
        with open(os.path.join(folder, "export_%d.vcf" % n), encoding="utf-8", newline="") as f:
            records.append(record_of(person_of_vcard(vobject.readOne(f.read()))))
    return records


# ---------------------------------------------------------------------------------------------
# Comparison.

class Differences:
    SHOWN_PER_CHECK = 12

    def __init__(self):
        self.counts = {}

    def add(self, check, message):
        self.counts[check] = self.counts.get(check, 0) + 1
        if self.counts[check] <= self.SHOWN_PER_CHECK:
            print("  %s: %s" % (check, message))

    def total(self):
        return sum(self.counts.values())


def compare_table(diffs, check, table, want_headings, want_records, shown=lambda v: v):
    headings, rows = table
    if list(headings) != list(want_headings):
        diffs.add(check, "headings\n    expected %r\n    got      %r" % (want_headings, headings))
        return
    if len(rows) != len(want_records):
        diffs.add(check, "%d contacts, expected %d" % (len(rows), len(want_records)))
    for number, (row, want) in enumerate(zip(rows, want_records)):
        for heading, got in zip(headings, row):
            expected = shown(want.get(heading))
            if got != expected:
                name = " (%r)" % want["FullName"] if "FullName" in want else ""
                diffs.add(check, "contact %d%s, %s: expected %r, got %r" % (number, name, heading, expected, got))


def one_record_headings(got, record):
    """A table of one record shows that record's own keys, First Name and Last Name first; the order
    of the others is the record's own, so it is taken from what was written."""
    return columns_heading_order([k for k in got if k in record] + [k for k in record if k not in got])


# ---------------------------------------------------------------------------------------------

class Session:
    """The program under test, a folder for its files, and the differences found so far."""

    def __init__(self, program, work):
        self.program, self.work, self.exports = program, work, 0
        self.diffs = Differences()

    def run(self, *args):
        proc = subprocess.run([self.program] + list(args), capture_output=True, text=True)
        if proc.returncode != 0:
            sys.exit("FAIL: rolvane %s exited %d: %s" % (" ".join(args[:4]), proc.returncode, proc.stderr.strip()))
        return proc.stdout.strip()

    def export(self, store, fmt, *options):
        """The file written, or for vCards the new folder of the files."""
        self.exports += 1
        folder = os.path.join(self.work, "out%d-%s" % (self.exports, fmt))
        os.mkdir(folder)
        started = time.monotonic()
        written = self.run("--store", store, "export", "--format", fmt, "--to", folder, *options)
        print("export %-5s %-40s %5.1f s" % (fmt, " ".join(options)[:40], time.monotonic() - started))
        return written

    @contextlib.contextmanager
    def check(self, name):
        """Yields compare(table, headings, records, shown): the table read back against the records."""
        def compare(table, headings, records, shown=lambda v: v):
            compare_table(self.diffs, name, table, headings, records, shown)
        try:
            yield compare
        except (LayoutError, ET.ParseError, csv.Error, vobject.base.ParseError) as error:
            self.diffs.add(name, "cannot be read back: %s" % error)


def records_table(records, keys):
    return keys, [[r.get(k) for k in keys] for r in records]


def vcard_files(folder):
    return sorted(glob.glob(os.path.join(folder, "export_*.vcf")),
                  key=lambda path: int(re.search(r"(\d+)\.vcf$", path).group(1)))


def check_all_information(s, store, want):
    with s.check("csv") as compare:
        written = s.export(store, "csv", "--all-info")
        compare(read_csv(written), CSV_HEADINGS, want)
        check_simultaneous_exports(s, store, "csv", written)
    with s.check("txt") as compare:
        compare(read_txt(s.export(store, "txt", "--all-info"), want, "   "), BASE_HEADINGS, want)
    with s.check("html") as compare:
        written = s.export(store, "html", "--all-info")
        compare(read_html(written), BASE_HEADINGS, want, without_xml_forbidden)
        check_simultaneous_exports(s, store, "html", written)
    with s.check("xlsx") as compare:
        compare(read_xlsx(s.export(store, "xlsx", "--all-info")), XLSX_HEADINGS, want, without_xml_forbidden)


def check_chosen_columns(s, store, chosen):
    option, keys = ",".join(CHOSEN_COLUMNS), union_of_keys(chosen)
    with s.check("csv --columns") as compare:
        compare(read_csv(s.export(store, "csv", "--columns", option)), keys, chosen)
    with s.check("txt --columns") as compare:
        compare(read_txt(s.export(store, "txt", "--columns", option), chosen, " "), keys, chosen)
    with s.check("html --columns") as compare:
        compare(read_html(s.export(store, "html", "--columns", option)), columns_heading_order(keys), chosen,
                without_xml_forbidden)
    with s.check("xlsx --columns") as compare:
        compare(read_xlsx(s.export(store, "xlsx", "--columns", option)), columns_heading_order(keys), chosen,
                without_xml_forbidden)
    with s.check("vcard --columns with vobject") as compare:
        got = [{k: v for k, v in r.items() if k in CHOSEN_COLUMNS}
               for r in read_vcards(s.export(store, "vcard", "--columns", option))]
        compare(records_table(got, CHOSEN_COLUMNS), CHOSEN_COLUMNS, chosen, line_feeds_only)


def check_vcards(s, store, want, chosen):
    keys = CSV_HEADINGS + ["Preffix"]
    folder = s.export(store, "vcard", "--all-info")
    with s.check("vcard with vobject") as compare:
        compare(records_table(read_vcards(folder), keys), keys, want, line_feeds_only)
    with s.check("vcard with the store") as compare:
        again = os.path.join(s.work, "again.sqlite")
        s.run("--store", again, "import", *vcard_files(folder))
        compare(read_csv(s.export(again, "csv", "--all-info")), CSV_HEADINGS, want, line_feeds_only)
        compare(read_csv(s.export(again, "csv", "--columns", ",".join(CHOSEN_COLUMNS))), union_of_keys(chosen),
                chosen, line_feeds_only)


def check_simultaneous_exports(s, store, fmt, reference):
    """Exports started together into one folder each get a file of their own, all whole."""
    folder = os.path.join(s.work, "together-" + fmt)
    os.mkdir(folder)
    procs = [subprocess.Popen([s.program, "--store", store, "export", "--format", fmt, "--to", folder, "--all-info"],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for _ in range(4)]
    results = [p.communicate() for p in procs]
    for (_, err), p in zip(results, procs):
        if p.returncode != 0:
            s.diffs.add(fmt + " together", "an export failed: %s" % err.strip())
    written = sorted(out.strip() for out, _ in results)
    with open(reference, "rb") as f:
        expected = f.read()
    name = "Zedid-Ovuzazur%s." + fmt
    names = [os.path.join(folder, name % tag) for tag in ("", "(0)", "(1)", "(2)")]
    if written != sorted(names) or sorted(os.listdir(folder)) != sorted(os.path.basename(n) for n in names):
        s.diffs.add(fmt + " together", "wrote %r, folder holds %r" % (written, sorted(os.listdir(folder))))
    for path in filter(os.path.exists, written):
        with open(path, "rb") as f:
            if f.read() != expected:
                s.diffs.add(fmt + " together", "%s differs from the export made alone" % path)


def check_single_contact(s, card, record):
    store = os.path.join(s.work, "single.sqlite")
    with open(os.path.join(s.work, "single.vcf"), "w", encoding="utf-8", newline="") as f:
        f.write(card)
    s.run("--store", store, "import", f.name)
    with s.check("csv of one contact") as compare:
        compare(read_csv(s.export(store, "csv", "--all-info")), CSV_HEADINGS, [record])
    for fmt, read in (("html", read_html), ("xlsx", read_xlsx)):
        with s.check(fmt + " of one contact") as compare:
            table = read(s.export(store, fmt, "--all-info"))
            compare(table, one_record_headings(table[0], record), [record], without_xml_forbidden)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=4)
    parser.add_argument("--keep", help="folder to keep the files in, instead of a temporary one")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as temporary:
        work = args.keep or temporary
        os.makedirs(work, exist_ok=True)
        rng = random.Random(args.seed)
        contacts = [make_contact(rng, i) for i in range(args.count)]
        cards = [vcard_of(rng, c) for c in contacts]
        with open(os.path.join(work, "book.vcf"), "w", encoding="utf-8", newline="") as f:
            f.write("".join(cards))
        want = [record_of(person_of(c)) for c in contacts]
        chosen = [{k: r[k] for k in CHOSEN_COLUMNS if k in r} for r in want]
        s = Session(args.program, work)
        store = os.path.join(work, "store.sqlite")
        s.run("--store", store, "import", f.name)
        check_all_information(s, store, want)
        check_chosen_columns(s, store, chosen)
        check_vcards(s, store, want, chosen)
        fullest = max(range(len(want)), key=lambda i: len(want[i]) if i != 7 else 0)
        check_single_contact(s, cards[fullest], want[fullest])
        if s.diffs.total():
            print("FAIL: %d differences in %s" % (s.diffs.total(), ", ".join(s.diffs.counts)))
            return 1
        print("OK: %d contacts round-trip through every format" % len(contacts))
        return 0


if __name__ == "__main__":
    sys.exit(main())
