#!/usr/bin/python3
"""Cross-check of `rolvane scan --json` against results computed here from the generated contacts.

Generates address books with every condition planted, imports them with `rolvane import`, scans
them and compares condition by condition. Exits 77 (skipped) when the program has no import command.
"""

import json
import os
import random
import subprocess
import sys
import tempfile

HOME = "_$!<Home>!$_"
WORK = "_$!<Work>!$_"

ALLOWED_TITLES = set(
    "1LT 1lt 1ST 1st 2LT 2lt 2ND 2nd 3RD 3rd Adm adm Admiral admiral Cardinal cardinal Capt capt "
    "Captain captain CDR cdr Chief chief Col col Colonel colonel Count count Cpt cpt Doctor doctor "
    "Dr dr Gen gen Gerneral gerneral General general LCDR lcdr Lord lord Lt lt LTG ltg LTJG ltjg "
    "Maj maj Major major MG mg Mr mr Mrs mrs Ms ms Pastor pastor Prof prof Professor professor "
    "Rep rep Reverend reverend Sen sen Senator senator Sir sir".split())
ALLOWED_SUFFIXES = set(
    "2nd 2ND 3rd 3RD 4th 4TH 5th 5TH 6th 6TH BA ba DDS dds ESQ esq I II III IV IX Jr jr Junior "
    "junior MA ma MD md MS ms PhD phd Sr sr V VI VII VIII X".split())

CONDITIONS = [
    ("Duplicate contacts", "DuplicateContacts"),
    ("Incomplete name", "SingleName"),
    ("Invalid characters", "InvalidChar"),
    ("Duplicate address", "DupAddress"),
    ("Duplicate phone number", "DupPhone"),
    ("Duplicate email address", "DupEmail"),
    ("Note with spacing only", "EmptyNotes"),
    ("Unusual title", "UnusualTitle"),
    ("Unusual suffix", "UnusualSuffix"),
    ("Spacing in the first name", "SpaceInFirstName"),
    ("Nickname with spacing only", "EmptyNickname"),
    ("Blank name", "BlankName"),
    ("Emails duplicated among multiple contacts", "ShareEmail"),
]

FIRSTS = ["Ann", "ann", "Bob", "Carla", "Ann Marie", " Dev", "Eve", None, "AnnLee", "Zoë"]
LASTS = ["Lee", "Smith", "LeeSmith", "Ng", None, "Okafor"]
TITLES = [None, None, "Dr", "dr", "DR", "Dr.", "General", "Gerneral", "2Nd", "2lt", "Mrs"]
SUFFIXES = [None, None, "Jr", "Jr.", "iii", "III", "PhD", "phd."]
NOTES = [None, None, "hello", " ", "   ", "a b", "\t"]
NICKS = [None, None, "Bo", " ", "  ", "x y"]
EMAILS = [
    "ann@example.com", "bob@example.org", "carla@mail.co.uk", "ANN@example.com", "shared@example.net",
    "team@example.com", "bad at example.com", "nodot@localhost", "a@@example.com", "@example.com",
    "me@example..com", "me@.example.com", "me@example.com.", "x<y>@example.com", "eve@example.COM",
    "ann\u00a0lee@example.com", "x\u2003y@example.org", "zo\u00eb@example.org",
]
PHONES = ["555 1234", "555-1234", "+1 (555) 123-4567", "555-CALL", "0171 222", "555 1234"]
ADDRESSES = [
    ("Main St 1", "Springfield", None, "12345", "USA"),
    ("Main St 1", "Springfield", None, "12345", None),
    (None, "Paris", None, None, "France"),
    ("Elm Rd 9", "Oslo", "Oslo", "0150", "Norway"),
]


# Unicode White_Space (str.isspace() would also count the separators U+001C to U+001F).
WHITE_SPACE = set("\t\n\v\f\r \u0085\u00a0\u1680\u2028\u2029\u202f\u205f\u3000") | {
    chr(c) for c in range(0x2000, 0x200B)}


def valid_email(v):
    if any(c in WHITE_SPACE or c in '(),:;<>[]\\"' for c in v):
        return False
    if v.count("@") != 1:
        return False
    local, domain = v.split("@")
    if not local or "." not in domain:
        return False
    return not (domain.startswith(".") or domain.endswith(".") or ".." in domain)


def spaces_only(v):
    if len(v) == 1:
        return v[0] == " "
    return len(v) >= 2 and all(c == " " for c in v)


def has_repeat(values):
    seen = []
    for v in values:
        if v in seen:
            return True
        seen.append(v)
    return False


def make_people(seed, count):
    rng = random.Random(seed)
    people = []
    for i in range(count):
        p = {
            "uid": "cross-%d-%04d" % (seed, i),
            "first": rng.choice(FIRSTS),
            "last": rng.choice(LASTS),
            "title": rng.choice(TITLES),
            "suffix": rng.choice(SUFFIXES),
            "note": rng.choice(NOTES),
            "nick": rng.choice(NICKS),
            "company": rng.random() < 0.15,
            "org": rng.choice([None, None, None, "Acme", "acme", "Globex", "Initech", "Acme Ltd"]),
            "emails": [(rng.choice([HOME, WORK]), rng.choice(EMAILS)) for _ in range(rng.randint(0, 3))],
            "phones": [(rng.choice(["HOME", "WORK", "CELL"]), rng.choice(PHONES)) for _ in range(rng.randint(0, 3))],
            "addresses": [(rng.choice(["HOME", "WORK"]), rng.choice(ADDRESSES)) for _ in range(rng.randint(0, 2))],
        }
        if p["company"] and not p["org"]:
            p["org"] = "Acme"
        people.append(p)
    return people


def vcard_of(p):
    lines = ["BEGIN:VCARD", "VERSION:3.0", "UID:" + p["uid"]]
    n = [p["last"], p["first"], None, p["title"], p["suffix"]]
    lines.append("N:" + ";".join(x or "" for x in n))
    lines.append("FN:x")
    if p["org"]:
        lines.append("ORG:%s;" % p["org"])
    if p["company"]:
        lines.append("X-ABShowAs:COMPANY")
    if p["note"] is not None:
        lines.append("NOTE:" + p["note"])
    if p["nick"] is not None:
        lines.append("NICKNAME:" + p["nick"])
    for label, value in p["emails"]:
        lines.append("EMAIL;TYPE=INTERNET;TYPE=%s:%s" % ("HOME" if label == HOME else "WORK", value))
    for kind, value in p["phones"]:
        lines.append("TEL;TYPE=%s:%s" % (kind, value))
    for kind, adr in p["addresses"]:
        lines.append("ADR;TYPE=%s:;;%s" % (kind, ";".join(x or "" for x in adr)))
    lines.append("END:VCARD")
    return "\r\n".join(lines) + "\r\n"


def expected(people):
    result = {}
    # A person with a first or last name groups by both joined; one with neither groups only with
    # others that have neither and the same organisation name; with no organisation, in no group.
    groups = {}
    for i, p in enumerate(people):
        if p["first"] is not None or p["last"] is not None:
            key = ("name", (p["first"] or "(null)") + (p["last"] or "(null)"))
        elif p["org"]:
            key = ("organisation", p["org"])
        else:
            continue
        groups.setdefault(key, []).append(i)
    result["DuplicateContacts"] = [people[g[0]]["uid"] for g in groups.values() if len(g) >= 2]

    def listed(test):
        return [p["uid"] for p in people if test(p)]

    result["SingleName"] = listed(lambda p: (p["first"] is None) != (p["last"] is None) and not p["company"])
    result["InvalidChar"] = listed(lambda p: any(not valid_email(v) for _, v in p["emails"])
                                   or any(any(c.isascii() and c.isalpha() for c in v) for _, v in p["phones"]))
    result["DupAddress"] = listed(lambda p: has_repeat([a for _, a in p["addresses"]]))
    result["DupPhone"] = listed(lambda p: has_repeat([v for _, v in p["phones"]]))
    result["DupEmail"] = listed(lambda p: has_repeat([v for _, v in p["emails"]]))
    result["EmptyNotes"] = listed(lambda p: p["note"] is not None and spaces_only(p["note"]))
    result["UnusualTitle"] = listed(lambda p: p["title"] is not None and p["title"] not in ALLOWED_TITLES)
    result["UnusualSuffix"] = listed(lambda p: p["suffix"] is not None and p["suffix"] not in ALLOWED_SUFFIXES)
    result["SpaceInFirstName"] = listed(lambda p: p["first"] is not None and " " in p["first"])
    result["EmptyNickname"] = listed(lambda p: p["nick"] is not None and spaces_only(p["nick"]))
    result["BlankName"] = listed(lambda p: p["first"] is None and p["last"] is None)

    # Shared e-mail values, searched naively person by person.
    handled = set()
    shared = []
    for i, p in enumerate(people):
        if i in handled:
            continue
        for label, value in p["emails"]:
            holders = [j for j, q in enumerate(people) if any(v == value for _, v in q["emails"])]
            if len(holders) < 2:
                continue
            handled.update(holders)
            shared.append({"SearchedPerson": p["uid"],
                           "MatchPersonsArray": [people[j]["uid"] for j in holders if j != i],
                           "DuplicateEmailType": label})
    result["ShareEmail"] = shared
    return {k: v for k, v in result.items() if v}


def run(program, args, check=True):
    proc = subprocess.run([program] + args, capture_output=True, text=True)
    if check and proc.returncode != 0:
        sys.exit("FAIL: %s %s exited %d: %s" % (program, " ".join(args), proc.returncode, proc.stderr.strip()))
    return proc


def compare(seed, got, want):
    failures = 0
    for _, key in CONDITIONS:
        g, w = got.get(key), want.get(key)
        if key == "DuplicateContacts" and g is not None and w is not None:
            g, w = sorted(g), sorted(w)  # the order of the groups is free; each is named by its earliest person
        if g != w:
            failures += 1
            print("seed %d, %s:\n  scan:     %s\n  expected: %s" % (seed, key, g, w))
    return failures


def main():
    program = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        probe = run(program, ["--store", os.path.join(work, "probe.sqlite"), "import"], check=False)
        if "unknown command" in (probe.stdout + probe.stderr).lower():
            print("SKIPPED: this rolvane has no import command yet")
            return 77
        failures = 0
        for seed in (1, 2, 3):
            people = make_people(seed, 400)
            vcf = os.path.join(work, "book%d.vcf" % seed)
            with open(vcf, "w", encoding="utf-8", newline="") as f:
                f.write("".join(vcard_of(p) for p in people))
            store = os.path.join(work, "store%d.sqlite" % seed)
            run(program, ["--store", store, "import", vcf])
            got = json.loads(run(program, ["--store", store, "scan", "--json"]).stdout)
            want = expected(people)
            failures += compare(seed, got, want)
            # Each condition alone gives exactly its own list.
            for name, key in CONDITIONS:
                alone = json.loads(run(program, ["--store", store, "scan", "--condition", name, "--json"]).stdout)
                if list(alone.keys()) != ([key] if key in got else []) or alone.get(key) != got.get(key):
                    failures += 1
                    print("seed %d, %s alone differs from the full scan" % (seed, key))
            print("seed %d: %d conditions found something, %d persons" % (seed, len(got), len(people)))
        # Only import makes a store: a scan of a missing one fails and makes none.
        missing = os.path.join(work, "missing", "book.sqlite")
        refused = run(program, ["--store", missing, "scan", "--json"], check=False)
        if refused.returncode == 0 or missing not in refused.stderr or os.path.exists(os.path.dirname(missing)):
            failures += 1
            print("missing store: %d %r" % (refused.returncode, refused.stderr))
        # An empty store: one contact imported and the import undone (a file without a card is refused).
        one = os.path.join(work, "one.vcf")
        with open(one, "w") as f:
            f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Only;Ann;;;\r\nEND:VCARD\r\n")
        run(program, ["--store", os.path.join(work, "empty.sqlite"), "import", one])
        run(program, ["--store", os.path.join(work, "empty.sqlite"), "undo"])
        empty = run(program, ["--store", os.path.join(work, "empty.sqlite"), "scan", "--json"])
        if json.loads(empty.stdout) != {} or "Scan completed, no contact matches the condition!" not in empty.stderr:
            failures += 1
            print("empty store: %r / %r" % (empty.stdout, empty.stderr))
        if failures:
            print("FAIL: %d differences" % failures)
            return 1
        print("OK")
        return 0


if __name__ == "__main__":
    sys.exit(main())
