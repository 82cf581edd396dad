#!/usr/bin/python3
"""Independent check of "Similar contacts": generated address books with planted near-duplicates and
planted homonyms, imported and scanned with `rolvane scan --json --region DE`.

Every planted near-duplicate (the same person written with another phone format, e-mail case or
gmail spelling, name accents, case, order, spacing or punctuation) must be found in one group; no
planted homonym pair (names differing only in case, accents or order, but different birthdays or
organisations) may be in one group; no group may hold an unrelated person; every reason must be true
of the group's persons, checked with rules of this script's own.
"""

import json
import os
import random
import re
import subprocess
import sys
import tempfile
import unicodedata

SYLLABLES = ["ka", "lo", "mi", "ne", "ru", "ta", "vo", "zi", "be", "do", "fa", "gu", "ho", "ji", "pe", "sa"]
ACCENTED = [("José", "García"), ("Zoë", "Müller"), ("Émilie", "Dupré"), ("Søren", "Kierkegård"),
            ("Ángel", "Núñez"), ("Chloé", "Lefèvre"), ("Jürgen", "Schäfer"), ("Łukasz", "Wójcik")]
STRIP = {"ø": "o", "Ø": "O", "ł": "l", "Ł": "L", "đ": "d", "Đ": "D", "ß": "ss", "ı": "i"}


def word(rng, syllables=3):
    return "".join(rng.choice(SYLLABLES) for _ in range(syllables)).capitalize()


def fold_words(text):
    """Case, accents and punctuation left aside; apostrophes and full stops join, other marks split."""
    text = unicodedata.normalize("NFKD", text)
    out = []
    for c in text:
        if unicodedata.category(c).startswith("M"):
            continue
        c = STRIP.get(c, c)
        if c in "'.`\u2019\u2018\u00b4\u02bc":
            continue
        if unicodedata.category(c).startswith("P"):
            c = " "
        out.append(c)
    return "".join(out).casefold().split()


def name_key(first, last):
    return " ".join(sorted(fold_words((first or "") + " " + (last or ""))))


def email_key(address):
    address = address.strip().lower()
    local, _, domain = address.rpartition("@")
    if domain in ("gmail.com", "googlemail.com"):
        local = local.split("+", 1)[0].replace(".", "")
        domain = "gmail.com"
    return local + "@" + domain


def national(number):
    """A German number "+49 30 1234567" written nationally."""
    return "0" + number[4:]


def e164(number):
    """A number as written here, in E.164: German when written without its country code."""
    digits = re.sub(r"\D", "", number)
    if number.strip().startswith("+"):
        return "+" + digits
    return "+49" + digits[1:]


def strip_accents(text):
    text = unicodedata.normalize("NFKD", text)
    return "".join(STRIP.get(c, c) for c in text if not unicodedata.category(c).startswith("M"))


class Book:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.people = []
        self.used_names = set()
        self.next_line = 1000000 + seed * 100000

    def number(self):
        self.next_line += self.rng.randint(1, 97)
        area = self.rng.choice(["30", "40", "89", "221", "711"])
        return "+49 %s %d" % (area, self.next_line)

    def fresh_name(self, accented=False):
        while True:
            if accented:
                first, last = self.rng.choice(ACCENTED)
                first, last = first + word(self.rng, 2).lower(), last + word(self.rng, 1).lower()
            else:
                first, last = word(self.rng, 2), word(self.rng, 3)
            if name_key(first, last) not in self.used_names:
                self.used_names.add(name_key(first, last))
                return first, last

    def person(self, first, last, **more):
        p = {"uid": "sim-%d" % len(self.people), "first": first, "last": last,
             "phones": more.get("phones", []), "emails": more.get("emails", []),
             "bday": more.get("bday"), "org": more.get("org")}
        self.people.append(p)
        return p


def vcard(p):
    def esc(v):
        return v.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;")
    lines = ["BEGIN:VCARD", "VERSION:3.0", "UID:" + p["uid"],
             "N:%s;%s;;;" % (esc(p["last"] or ""), esc(p["first"] or "")), "FN:x"]
    for t in p["phones"]:
        lines.append("TEL;TYPE=HOME:" + t)
    for e in p["emails"]:
        lines.append("EMAIL;TYPE=HOME:" + e)
    if p["bday"]:
        lines.append("BDAY:" + p["bday"])
    if p["org"]:
        lines.append("ORG:%s;" % esc(p["org"]))
    lines.append("END:VCARD")
    return "\r\n".join(lines) + "\r\n"


def plant(book, kinds):
    """Unrelated persons, near-duplicate pairs of every kind, and homonym pairs."""
    rng = book.rng
    pairs, homonyms = [], []
    for _ in range(150):
        first, last = book.fresh_name()
        book.person(first, last, phones=[book.number()], emails=["%s.%s@example.org" % (first, last)])
    for kind in kinds:
        for _ in range(6):
            first, last = book.fresh_name()
            number = book.number()
            a = book.person(first, last, phones=[number], emails=["own%d@example.com" % len(book.people)])
            other_first, other_last = book.fresh_name()
            if kind == "phone national":
                b = book.person(other_first, other_last, phones=[national(number)])
            elif kind == "phone spacing":
                b = book.person(other_first, other_last, phones=[e164(number)])
            elif kind == "phone punctuation":
                b = book.person(other_first, other_last, phones=["(0%s) %s" % tuple(number[4:].split(" ", 1))])
            elif kind == "email case":
                address = "%s.%s@Example.net" % (first, last)
                a["emails"].append(address)
                b = book.person(other_first, other_last, emails=[address.upper()])
            elif kind == "gmail":
                a["emails"].append("%s.%s+news@gmail.com" % (first.lower(), last.lower()))
                b = book.person(other_first, other_last, emails=["%s%s@googlemail.com" % (first.lower(), last.lower())])
            elif kind == "name accents":
                first, last = book.fresh_name(accented=True)
                a["first"], a["last"] = first, last
                b = book.person(strip_accents(first), strip_accents(last))
            elif kind == "name case":
                b = book.person(first.upper(), last.lower())
            elif kind == "name order":
                b = book.person(last, first)
            elif kind == "name comma":
                b = book.person(last + ",", first)
            elif kind == "name spacing":
                b = book.person(" " + first + "  ", last)
            elif kind == "name punctuation":
                b = book.person(first + ".", last + "-" + "")
            else:
                raise ValueError(kind)
            pairs.append((a["uid"], b["uid"], kind))
    # Homonyms: the same name apart from case, accents or order, born on different days or working
    # at different organisations, each with numbers and addresses of their own.
    for i in range(30):
        first, last = book.fresh_name(accented=(i % 3 == 2))
        variant = [(first.upper(), last), (last, first), (strip_accents(first), strip_accents(last))][i % 3]
        if i % 2:
            a = book.person(first, last, phones=[book.number()], bday="19%02d-0%d-1%d" % (50 + i, 1 + i % 9, i % 10))
            b = book.person(*variant, phones=[book.number()], bday="19%02d-0%d-1%d" % (51 + i, 1 + i % 9, i % 10))
        else:
            a = book.person(first, last, org="Acme %d" % i)
            b = book.person(*variant, org="Globex %d" % i)
        homonyms.append((a["uid"], b["uid"]))
    order = list(range(len(book.people)))
    rng.shuffle(order)
    book.people = [book.people[i] for i in order]
    return pairs, homonyms


def reason_true(reason, members):
    """Every part of the reason holds for at least two of the group's persons."""
    for part in reason.split("; "):
        if part.startswith("same phone "):
            want = e164(part[len("same phone "):])
            holders = [p for p in members if any(e164(t) == want for t in p["phones"])]
        elif part.startswith("same e-mail "):
            want = part[len("same e-mail "):]
            holders = [p for p in members if any(email_key(e) == want for e in p["emails"])]
        elif part.startswith("same name apart from "):
            keys = [name_key(p["first"], p["last"]) for p in members]
            holders = [p for p, k in zip(members, keys) if keys.count(k) >= 2]
            aspects = part[len("same name apart from "):]
            names = [(p["first"] or "") + " " + (p["last"] or "") for p in holders]
            # A difference named must be one two of them have: leaving it aside merges two writings.
            if "accents" in aspects and len({strip_accents(n).casefold() for n in names}) == \
                    len({n.casefold() for n in names}):
                return False
            if "case" in aspects and len({strip_accents(n).casefold() for n in names}) == \
                    len({strip_accents(n) for n in names}):
                return False
        else:
            return False
        if len(holders) < 2:
            return False
    return True


def main():
    program = sys.argv[1]
    kinds = ["phone national", "phone spacing", "phone punctuation", "email case", "gmail", "name accents",
             "name case", "name order", "name comma", "name spacing", "name punctuation"]
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for seed in (1, 2):
            book = Book(seed)
            pairs, homonyms = plant(book, kinds)
            vcf = os.path.join(work, "similar%d.vcf" % seed)
            with open(vcf, "w", encoding="utf-8", newline="") as f:
                f.write("".join(vcard(p) for p in book.people))
            store = os.path.join(work, "similar%d.sqlite" % seed)
            subprocess.run([program, "--store", store, "import", vcf], check=True, capture_output=True)
            scan = subprocess.run([program, "--store", store, "scan", "--json", "--region", "DE", "--condition",
                                   "Similar contacts"], check=True, capture_output=True, text=True)
            groups = json.loads(scan.stdout).get("SimilarContacts", [])
            group_of = {}
            for g, group in enumerate(groups):
                for uid in group["Persons"]:
                    group_of[uid] = g
            for a, b, kind in pairs:
                if a not in group_of or group_of.get(a) != group_of.get(b):
                    failures += 1
                    print("seed %d: planted near-duplicate (%s) not found: %s %s" % (seed, kind, a, b))
            for a, b in homonyms:
                if a in group_of and group_of.get(a) == group_of.get(b):
                    failures += 1
                    print("seed %d: homonyms linked: %s %s (%s)" % (seed, a, b, groups[group_of[a]]["Reason"]))
            planted = {u for a, b, _ in pairs for u in (a, b)}
            by_uid = {p["uid"]: p for p in book.people}
            for group in groups:
                stray = [u for u in group["Persons"] if u not in planted]
                if stray:
                    failures += 1
                    print("seed %d: unrelated persons in a group: %s (%s)" % (seed, stray, group["Reason"]))
                if not reason_true(group["Reason"], [by_uid[u] for u in group["Persons"]]):
                    failures += 1
                    print("seed %d: reason not true: %s for %s" % (seed, group["Reason"], group["Persons"]))
            print("seed %d: %d persons, %d planted pairs, %d homonym pairs, %d groups" %
                  (seed, len(book.people), len(pairs), len(homonyms), len(groups)))
    if failures:
        print("FAIL: %d problems" % failures)
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
