#!/usr/bin/python3
"""Undo and redo of every fix, checked from the outside.

Generates a messy address book as a vCard file, imports it with `rolvane import` and exports it
with all information as vCard (A). Then runs `rolvane fix` with every store-changing option of every
condition in turn (the findings of a condition shared out among its options) and exports again (B).
`rolvane undo --to` the first change after the import must give back A exactly (and a scan must
find what it found right after the import: marks such as "Not the same person" are taken back too),
`rolvane redo` of every change B exactly (and the scan after the fixes); the contacts that the fixes removed are in `rolvane trash --json`, and
`rolvane restore` puts them back under their own unique ids.

    history_round_trip.py ROLVANE [--count N] [--seed S] [--keep DIR]
"""

import argparse
import base64
import contextlib
import glob
import json
import os
import random
import sqlite3
import subprocess
import sys
import tempfile

OPTIONS = {
    "Duplicate contacts": ["Merge contacts", "Delete the duplicate contact(s)", "Delete this contact",
                           "Not the same person"],
    "Incomplete name": ["Convert to a company contact", 'Use "???" instead of the empty name', "Delete this contact"],
    "Duplicate address": ["Delete the duplicate property"],
    "Duplicate phone number": ["Delete the duplicate property"],
    "Duplicate email address": ["Delete the duplicate property"],
    "Note with spacing only": ["Delete the blank property"],
    "Unusual title": ["Remove the title", "Delete this contact"],
    "Unusual suffix": ["Remove the suffix", "Delete this contact"],
    "Spacing in the first name": ["Remove the space", "Hyphenate the first name", "Delete this contact"],
    "Nickname with spacing only": ["Delete the blank property"],
    "Blank name": ["Delete this contact"],
    "Emails duplicated among multiple contacts": ["Merge contacts", "Delete the duplicate contact(s)",
                                                  "Remove the email from this contact", "Delete this contact",
                                                  "Not the same person"],
    "Similar contacts": ["Merge contacts", "Not the same person"],
}
KEYS = {
    "Duplicate contacts": "DuplicateContacts", "Incomplete name": "SingleName", "Duplicate address": "DupAddress",
    "Duplicate phone number": "DupPhone", "Duplicate email address": "DupEmail",
    "Note with spacing only": "EmptyNotes", "Unusual title": "UnusualTitle", "Unusual suffix": "UnusualSuffix",
    "Spacing in the first name": "SpaceInFirstName", "Nickname with spacing only": "EmptyNickname",
    "Blank name": "BlankName", "Emails duplicated among multiple contacts": "ShareEmail",
    "Similar contacts": "SimilarContacts",
}

FIRST = ["Ann", "Bob", "Cécile", "Dmitri", "Eve", "Jo Ann", "Mary  Kate", "Zoë", "Li", "Ngozi"]
LAST = ["Lee", "Ray", "Müller", "O'Brien", "Nguyễn", "Smith", "山田"]
PNG = base64.b64encode(bytes.fromhex(
    "89504e470d0a1a0a0000000d4948445200000001000000010806000000"
    "1f15c4890000000d49444154789c6360000002000154a24f5d0000000049454e44ae426082")).decode()


def card(rng, i):
    lines = ["BEGIN:VCARD", "VERSION:3.0"]
    kind = rng.random()
    first, last = rng.choice(FIRST), rng.choice(LAST)
    if kind < 0.08:
        lines.append("N:;;;;")
        lines.append("FN:")
    elif kind < 0.18:
        lines.append("N:;%s;;;" % first)
        lines.append("FN:%s" % first)
    else:
        title = rng.choice(["", "", "Dr.", "Captain Awesome"])
        suffix = rng.choice(["", "", "Jr.", "the Great"])
        lines.append("N:%s;%s;;%s;%s" % (last, first, title, suffix))
        lines.append("FN:%s %s" % (first, last))
    if rng.random() < 0.15:
        lines.append("NOTE:   ")
    elif rng.random() < 0.3:
        lines.append("NOTE:note of %d" % i)
    if rng.random() < 0.1:
        lines.append("NICKNAME:  ")
    email = "user%d@example.org" % i
    lines.append("EMAIL;TYPE=HOME:%s" % email)
    if rng.random() < 0.15:
        lines.append("EMAIL;TYPE=WORK:%s" % email)
    if rng.random() < 0.2:
        lines.append("EMAIL;TYPE=WORK:shared%d@example.com" % rng.randrange(6))
    lines.append("TEL;TYPE=CELL:+1 555 %07d" % i)
    if rng.random() < 0.15:
        lines.append("TEL;TYPE=WORK:+1 555 %07d" % i)
    adr = "ADR;TYPE=HOME:;;%d Main Street;Springfield;;12345;USA" % (i % 50)
    lines.append(adr)
    if rng.random() < 0.12:
        lines.append(adr)
    if rng.random() < 0.2:
        lines.append("ORG:Firm %d;Sales" % (i % 7))
    if rng.random() < 0.2:
        lines.append("BDAY:19%02d-%02d-%02d" % (rng.randrange(100), rng.randrange(1, 13), rng.randrange(1, 29)))
    if rng.random() < 0.1:
        lines.append("PHOTO;ENCODING=b;TYPE=PNG:" + PNG)
    lines.append("END:VCARD")
    return "\r\n".join(lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("rolvane")
    parser.add_argument("--count", type=int, default=400)
    parser.add_argument("--seed", type=int, default=15)
    parser.add_argument("--keep")
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="rolvane-history-")
    os.makedirs(work, exist_ok=True)
    store = os.path.join(work, "book.sqlite")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    failures = []

    def run(*argv, ok=True):
        result = subprocess.run([args.rolvane, "--store", store] + list(argv), capture_output=True, text=True,
                                env=env, timeout=300)
        if ok and result.returncode != 0:
            sys.exit("rolvane %s failed (%d): %s" % (" ".join(argv), result.returncode, result.stderr.strip()))
        return result

    exports = [0]

    def export():
        exports[0] += 1
        folder = os.path.join(work, "export%d" % exports[0])
        os.makedirs(folder)
        run("export", "--format", "vcard", "--to", folder, "--all-info")
        text = []
        # The cards go into a folder of their own inside the one given.
        files = [p for p in glob.glob(os.path.join(folder, "**", "*"), recursive=True) if os.path.isfile(p)]
        for path in sorted(files, key=lambda p: (len(p), p)):
            with open(path, encoding="utf-8") as f:
                # The export gives every card a unique id of its own; the store's are compared below.
                text.append("".join(line for line in f.read().splitlines(True) if not line.startswith("UID:")))
        return text

    def uids_in_store():
        # The unique ids in store order, read from the file by SQLite itself.
        with contextlib.closing(sqlite3.connect("file:%s?mode=ro" % store, uri=True)) as db:
            return [row[0] for row in db.execute("SELECT uid FROM persons ORDER BY ord, id")]

    rng = random.Random(args.seed)
    vcf = os.path.join(work, "messy.vcf")
    with open(vcf, "w", encoding="utf-8", newline="") as f:
        for i in range(args.count):
            f.write(card(rng, i))
    run("import", vcf)
    history = json.loads(run("history", "--json").stdout)
    if len(history) != 1 or not history[0]["description"].startswith("Imported %d contacts from messy.vcf"
                                                                        % args.count):
        failures.append("the import is not one change set: %r" % history)
    import_id = history[0]["id"]
    after_import = export()
    scan_after_import = run("scan", "--json").stdout
    uids_after_import = uids_in_store()

    for condition, options in OPTIONS.items():
        found = json.loads(run("scan", "--condition", condition, "--json").stdout or "{}")
        findings = found.get(KEYS[condition], [])
        uids = []
        for finding in findings:
            if isinstance(finding, dict):
                uid = finding["SearchedPerson"] if "SearchedPerson" in finding else finding["Persons"][0]
            else:
                uid = finding
            if uid not in uids:
                uids.append(uid)
        for index, option in enumerate(options):
            chosen = uids[index::len(options)]
            if not chosen:
                continue
            argv = ["fix", "--condition", condition, "--option", option, "--yes"]
            for uid in chosen:
                argv += ["--uid", uid]
            run(*argv, ok=False)  # a finding made stale by an earlier fix is reported, not a failure here

    history = json.loads(run("history", "--json").stdout)
    changes = [c for c in history if c["id"] > import_id]
    if len(changes) < len(OPTIONS):
        failures.append("only %d change sets were recorded for the fixes" % len(changes))
    descriptions = [c["description"] for c in changes]
    if not any(d.startswith("Merged ") for d in descriptions):
        failures.append("no merge was recorded: %r" % descriptions[:10])
    if not any(d.startswith("Not the same person: ") for d in descriptions):
        failures.append("no mark was recorded: %r" % descriptions[:10])
    after_fixes = export()
    scan_after_fixes = run("scan", "--json").stdout
    uids_after_fixes = uids_in_store()
    if after_fixes == after_import:
        failures.append("the fixes changed nothing")
    trash = json.loads(run("trash", "--json").stdout)
    if not trash:
        failures.append("the removed contacts are not in the trash")
    for entry in trash:
        if set(entry) != {"uid", "name", "time", "change"}:
            failures.append("a trash entry has the keys %r" % sorted(entry))
            break

    # Undo everything after the import, at once.
    result = run("undo", "--to", str(min(c["id"] for c in changes)))
    if result.stdout.count("Undid ") != len(changes):
        failures.append("undo --to undid %d of %d changes" % (result.stdout.count("Undid "), len(changes)))
    if export() != after_import:
        failures.append("after undo --to, the export differs from the one right after the import")
    if uids_in_store() != uids_after_import:
        failures.append("after undo --to, the unique ids or their order differ from those after the import")
    if run("trash", "--json").stdout.strip() != "[]":
        failures.append("after undoing every fix the trash is not empty")
    if run("scan", "--json").stdout != scan_after_import:
        failures.append("after undo --to, a scan finds other problems than right after the import")
    # And redo everything.
    redone = 0
    while run("redo", ok=False).returncode == 0:
        redone += 1
    if redone != len(changes):
        failures.append("redo redid %d of %d changes" % (redone, len(changes)))
    if export() != after_fixes:
        failures.append("after redoing every change, the export differs from the one after the fixes")
    if uids_in_store() != uids_after_fixes:
        failures.append("after redoing every change, the unique ids or their order differ")
    if run("scan", "--json").stdout != scan_after_fixes:
        failures.append("after redoing every change, a scan finds other problems than after the fixes")

    # Restore puts the removed contacts back under their own unique ids.
    trash = json.loads(run("trash", "--json").stdout)
    restored = [entry["uid"] for entry in trash]
    if restored:
        run("restore", *restored)
        now = uids_in_store()
        missing = [uid for uid in restored if uid not in now]
        if missing:
            failures.append("restore did not bring back %r" % missing[:5])
        if run("trash", "--json").stdout.strip() != "[]":
            failures.append("the trash is not empty after restoring all of it")
        history = json.loads(run("history", "--json").stdout)
        if not history[0]["description"].startswith("Restored "):
            failures.append("the restore is not the newest change set: %r" % history[0])
        run("undo")
        if {e["uid"] for e in json.loads(run("trash", "--json").stdout)} != set(restored):
            failures.append("undoing the restore did not put the contacts back in the trash")

    if failures:
        for failure in failures:
            print("FAIL:", failure)
        print("(files kept in %s)" % work)
        sys.exit(1)
    print("undo and redo of %d change sets over %d contacts: exports identical" % (len(changes), args.count))
    if not args.keep:
        import shutil
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
