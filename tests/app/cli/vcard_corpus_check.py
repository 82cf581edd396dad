#!/usr/bin/python3
"""Every property of every real card comes back from a vCard export with all information.

For each file of the vCard corpus (or the files given): import it into a new store with
`rolvane import`, export with `rolvane export --format vcard --one-file --all-info`, and read the
original and the export with python3-vobject, a reader that is not the program's. Every property
of every original card must be in the exported card of the same place with an equal value
(properties that the store reads under another name, such as X-AIM or RELATED, are looked for
under the name the program writes). Then the export is imported with `import --update` into the
same store and exported again: the second export must equal the first, byte for byte.

    vcard_corpus_check.py ROLVANE CORPUS_DIR [FILE.vcf...]

Exits 77 (skipped) when python3-vobject is missing.
"""

import base64
import glob
import os
import subprocess
import sys
import tempfile

try:
    import vobject
except ImportError as missing:
    print("SKIPPED: %s (install python3-vobject)" % missing)
    sys.exit(77)

# What the program writes for a property it reads under another name.
INSTANT = {"X-AIM", "X-JABBER", "X-MSN", "X-ICQ", "X-YAHOO", "X-SKYPE", "X-SKYPE-USERNAME", "X-QQ",
           "X-GOOGLE-TALK", "X-GTALK", "X-GOOGLE_TALK", "X-GADUGADU", "X-GADU-GADU", "X-FACEBOOK"}
RELATED = {"RELATED", "X-MS-MANAGER", "X-MS-ASSISTANT", "X-MS-SPOUSE", "X-EVOLUTION-MANAGER",
           "X-EVOLUTION-ASSISTANT", "X-EVOLUTION-SPOUSE", "X-MANAGER", "X-ASSISTANT", "X-SPOUSE",
           "X-KADDRESSBOOK-X-MANAGERSNAME", "X-KADDRESSBOOK-X-ASSISTANTSNAME", "X-KADDRESSBOOK-X-SPOUSESNAME"}
# vCard 4.0 properties that a 3.0 export writes under their 3.0 (X-) names.
VERSION3 = {"KIND": "X-ADDRESSBOOKSERVER-KIND", "MEMBER": "X-ADDRESSBOOKSERVER-MEMBER", "GENDER": "X-GENDER",
            "ANNIVERSARY": "X-ANNIVERSARY", "BIRTHPLACE": "X-BIRTHPLACE", "DEATHPLACE": "X-DEATHPLACE",
            "DEATHDATE": "X-DEATHDATE", "LANG": "X-LANG", "CLIENTPIDMAP": "X-CLIENTPIDMAP", "XML": "X-XML"}
# Structure, not content: the card's version and profile, item-group labels (read into the labels of
# their entries, which the export says with TYPE where it can) and X-ABADR (the country code of its
# group's address, which the export writes as a text value, commas escaped, where some exporters do not).
SKIPPED = {"VERSION", "BEGIN", "END", "PROFILE", "X-ABLABEL", "X-ABADR"}


def run(program, *args):
    done = subprocess.run([program] + list(args), capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError("%s %s failed: %s" % (program, " ".join(args), done.stderr.strip()))
    return done.stdout


def cards_of(path):
    with open(path, "rb") as f:
        data = f.read()
    for encoding in ("utf-8", "utf-16"):
        try:
            text = data.decode(encoding)
            break
        except UnicodeDecodeError:
            text = None
    if text is None:
        text = data.decode("utf-8", errors="replace")
    return list(vobject.readComponents(text, allowQP=True, ignoreUnreadable=True))


def plain(value):
    """A value in a form that compares across vCard versions."""
    if isinstance(value, bytes):
        return value
    if isinstance(value, list):
        return " ".join(plain(v) for v in value)
    text = value if isinstance(value, str) else str(value)
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    if text.lower().startswith("data:") and ";base64," in text:
        return base64.b64decode(text.split(",", 1)[1])
    if text.lower().startswith("tel:"):
        text = text[4:]
    # Escapes and list commas are spelt differently by different writers (\: or :, \, or ,).
    return " ".join(text.replace("\\", "").replace(",", " ").split())


def values_of(card, name):
    return [plain(line.value) for line in card.lines() if line.name.upper() == name]


def exported_names(name):
    # Another program's own property goes back as it came, else as the standard form says it.
    if name in INSTANT:
        return [name, "IMPP"]
    if name in RELATED:
        return [name, "X-ABRELATEDNAMES"]
    if name in VERSION3:
        return [VERSION3[name]]
    return [name]


def geo(value):
    """The latitude of a position as 4.0 (geo:lat,lon) and 3.0 (lat;lon) write it (vobject splits the former)."""
    if not isinstance(value, str):
        return value
    if value.lower().startswith("geo:"):
        value = value[4:]
    return " ".join(value.replace(";", " ").replace(",", " ").split()[:1])


def found(value, name, exported):
    for other_name in exported_names(name):
        candidates = values_of(exported, other_name)
        if value in candidates:
            return True
        if name == "GEO" and geo(value) in [geo(c) for c in candidates]:
            return True
        if isinstance(value, str) and any(isinstance(c, bytes) for c in candidates):
            try:  # a picture the independent reader left encoded (vCard 2.1 bare B)
                if base64.b64decode(value.replace(" ", "")) in candidates:
                    return True
            except ValueError:
                pass
        # Several NOTE lines are one note, written as one NOTE.
        if other_name == "NOTE" and isinstance(value, str) and any(isinstance(c, str) and value in c
                                                                   for c in candidates):
            return True
        if other_name == "IMPP" and any(isinstance(c, str) and c.endswith(":" + value) for c in candidates):
            return True
    return False


def check_file(program, path, work):
    problems = []
    store = os.path.join(work, "store.sqlite")
    out = os.path.join(work, "out")
    os.makedirs(out)
    run(program, "--store", store, "import", path)
    first = run(program, "--store", store, "export", "--format", "vcard", "--one-file", "--all-info",
                "--to", out).strip()
    try:
        originals = cards_of(path)
    except Exception as error:  # the independent reader does not read this file: nothing to compare
        originals = None
        print("  (python3-vobject cannot read %s: %s)" % (os.path.basename(path), error))
    exported = cards_of(first)
    if originals is not None:
        if len(originals) != len(exported):
            problems.append("%d cards read, %d exported" % (len(originals), len(exported)))
        for index, (original, card) in enumerate(zip(originals, exported)):
            for line in original.lines():
                name = line.name.upper()
                if name in SKIPPED:
                    continue
                value = plain(line.value)
                if value in ("", [], b"") or (isinstance(value, str) and not value.strip()):
                    continue
                if isinstance(value, str) and "\ufffd" in value:
                    continue  # not UTF-8 and its CHARSET unknown to python3-vobject: nothing to compare
                if not found(value, name, card):
                    problems.append("card %d: %s %r is not in the export" % (index, name, value))
    # Exported, imported again with --update and exported again: the same.
    run(program, "--store", store, "import", "--update", first)
    again_folder = os.path.join(work, "again")
    os.makedirs(again_folder)
    again = run(program, "--store", store, "export", "--format", "vcard", "--one-file", "--all-info",
                "--to", again_folder).strip()
    with open(first, "rb") as a, open(again, "rb") as b:
        if a.read() != b.read():
            problems.append("export, import --update, export is not the same")
    return problems


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    program, corpus = sys.argv[1], sys.argv[2]
    if not sys.argv[3:] and not os.path.isdir(corpus):
        print("SKIPPED: the shared vCard corpus is not at %s (a checkout without ../shared)" % corpus)
        return 77
    files = sys.argv[3:] or sorted(glob.glob(os.path.join(corpus, "*.vcf")))
    failures = 0
    for path in files:
        with tempfile.TemporaryDirectory(prefix="rolvane-corpus-") as work:
            problems = check_file(program, path, work)
        print("%s: %s" % (os.path.basename(path), "ok" if not problems else "%d problem(s)" % len(problems)))
        for problem in problems:
            print("  " + problem)
        failures += len(problems)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
