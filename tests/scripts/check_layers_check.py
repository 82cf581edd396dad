#!/usr/bin/python3
"""Plants an include of every kind scripts/check-layers forbids in a small tree of its own and
expects each to be reported, and the same tree without them to pass.

    check_layers_check.py SOURCE_ROOT
"""
import os
import subprocess
import sys
import tempfile

# file -> (the include planted, what the check must say of it)
PLANTED = {
    "platform/threads/ParallelFor.h": ('"platform/addressbook/ABPerson.h"', "only the standard library"),
    "platform/addressbook/ABPerson.h": ('"core/record/ContactRecord.h"', "platform/ may not include"),
    "core/record/ContactRecord.h": ('"platform/addressbook/ABPerson.h"', "only platform/addressbook/ABDate.h"),
    "frameworks/xlsx/Xlsx.h": ('"app/model/PersonRecord.h"', "frameworks/ may not include"),
    "app/export/ExportContact.h": ('"app/export/formats/ExportFormatWriters.h"', "the export driver includes"),
    "app/model/PersonRecord.h": ('"app/shell/AppDelegate.h"', "code without a window includes"),
    "app/scanner/Scan.cpp": ("<QString>", "Qt header"),
    "app/widgets/Button.h": ('"app/model/PersonRecord.h"', "app/widgets/ includes nothing of app/"),
    "app/review/view/ReviewView.h": ('"app/browser/view/Table.h"', "the review view includes"),
    "app/browser/view/Table.h": ('"app/shell/AppDelegate.h"', "of the application window"),
    "app/cli/Scan.cpp": ('"../model/PersonRecord.h"', "climbs out of its folder"),
}
# Includes every rule allows: none of them may be reported.
ALLOWED = {
    "platform/threads/Pool.h": '"platform/threads/ParallelFor.h"',
    "core/record/Date.h": '"platform/addressbook/ABDate.h"',
    "app/browser/view/Export.h": '"app/export/view/ExportPanel.h"',
    "app/shell/Window.cpp": '"app/review/view/ReviewView.h"',
    "app/cli/Export.cpp": '"app/export/formats/ExportFormatWriters.h"',
}


def write(root, path, include):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w") as out:
        out.write("#pragma once\n" + ("#include %s\n" % include if include else ""))


def run(check, root):
    done = subprocess.run([sys.executable, check, root], capture_output=True, text=True)
    return done.returncode, done.stdout


def main(argv):
    check = os.path.join(argv[0], "scripts", "check-layers")
    failures = 0
    with tempfile.TemporaryDirectory(prefix="rolvane-layers-") as root:
        for path in PLANTED:
            write(root, path, None)
        for path, include in ALLOWED.items():
            write(root, path, include)
        status, out = run(check, root)
        if status != 0:
            print("a tree without planted includes fails:\n" + out)
            failures += 1
        for path, (include, said) in PLANTED.items():
            write(root, path, include)
            status, out = run(check, root)
            if status == 0 or said not in out or path not in out:
                print("%s including %s: expected a problem saying '%s', got:\n%s" % (path, include, said, out))
                failures += 1
            write(root, path, None)
    print("check_layers_check: %d planted includes, %d not caught" % (len(PLANTED), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
