#!/usr/bin/python3
"""Runs the benchmark program on a small address book, twice, and checks the Markdown table it
writes: every step of the sections run is there, the text writers and the command line come with
their references (dd, python3-vobject, Python's csv module, the files created), and each ratio is
the step's time over its reference's."""
import os
import re
import subprocess
import sys
import tempfile


def main(bin_dir):
    bench = os.path.join(bin_dir, "rolvane-bench")
    with tempfile.TemporaryDirectory(prefix="bench-table-") as work:
        table = os.path.join(work, "table.md")
        env = dict(os.environ, TMPDIR=work, XDG_DATA_HOME=work, XDG_CACHE_HOME=work)
        for section in ("text exports", "command line, whole processes"):
            path = table + "." + section.split()[0]
            run = subprocess.run([bench, "-n", "300", "--only", section, "--runs", "2", "--markdown", path],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
            if run.returncode != 0:
                sys.exit("rolvane-bench failed:\n" + run.stdout)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            if "median of 2 runs" not in text or "load average" not in text:
                sys.exit("the table does not say how it was measured:\n" + text)
            rows = [line for line in text.splitlines() if line.startswith("| " + section)]
            steps = {row.split(" | ")[1]: row for row in rows}
            expected = {
                "text exports": {"CSV, all information": "dd writing", "TXT, all information": "dd writing",
                                 "HTML, all information": "dd writing",
                                 "HTML, all information, until on disk": "until on disk",
                                 "vCard, all information, one file per contact": "creating 300 files"},
                "command line, whole processes": {"rolvane import": "python3-vobject",
                                                  "rolvane export --format csv --all-info": "Python csv",
                                                  "rolvane export --format html --all-info": "dd writing",
                                                  "rolvane export --format html --all-info, until on disk":
                                                      "until on disk",
                                                  "rolvane export --format vcard --all-info": "creating 300 files",
                                                  "rolvane scan --json": None,
                                                  "rolvane scan --json, 13 conditions": None},
            }[section]
            for step, reference in expected.items():
                if step not in steps:
                    sys.exit("no row for %r in:\n%s" % (step, text))
                cells = [cell.strip() for cell in steps[step].strip("|").split("|")]
                if reference is None:
                    continue
                if reference not in cells[4]:
                    sys.exit("%r has no reference %r: %s" % (step, reference, steps[step]))
                seconds = float(cells[2].split()[0])
                reference_seconds = float(cells[5].split()[0])
                ratio = float(cells[7])
                # Two runs: the ratio is the median of each run's own ratio, near the ratio of medians.
                if reference_seconds > 0 and not 0.2 < ratio / (seconds / reference_seconds) < 5:
                    sys.exit("%r: ratio %s does not fit %s over %s" % (step, ratio, seconds, reference_seconds))
            if section.startswith("command") and "(process)" not in steps["rolvane import"]:
                sys.exit("the command line's figures are not those of whole processes:\n" + text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
