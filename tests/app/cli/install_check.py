#!/usr/bin/python3
"""Installs the build into a temporary prefix (as `make install` does) and checks what lands there.

usage: install_check.py BUILD_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

APP_ID = "org.varnok.Rolvane"
WRITERS = ["Quarnel", "Wistrel", "Lumbrek", "Pavrost"]


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def main():
    build = sys.argv[1]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory(prefix="rolvane-install-") as prefix:
        installed = run(["cmake", "--install", build, "--prefix", prefix])
        if installed.returncode != 0:
            print(installed.stdout)
            print("FAILED: cmake --install")
            return 1
        share = os.path.join(prefix, "share")
        program = os.path.join(prefix, "bin", "rolvane")
        desktop = os.path.join(share, "applications", APP_ID + ".desktop")
        metainfo = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")

        check(os.access(program, os.X_OK), "the program is installed")
        check(os.path.isfile(desktop), "the desktop entry is installed")
        if shutil.which("desktop-file-validate"):
            result = run(["desktop-file-validate", desktop])
            check(result.returncode == 0 and not result.stdout.strip(), "desktop-file-validate: " + result.stdout)
        else:
            failures.append("desktop-file-validate is missing (scripts/install-deps installs desktop-file-utils)")
        with open(desktop, encoding="utf-8") as entry:
            text = entry.read()
        check("MimeType=text/vcard;text/x-vcard;" in text, "the desktop entry opens vCard files")
        check("Exec=rolvane %F" in text, "the desktop entry hands the files over")
        check(os.path.isfile(metainfo), "the AppStream metainfo is installed")
        if shutil.which("appstreamcli"):
            result = run(["appstreamcli", "validate", "--no-net", metainfo])
            check(result.returncode == 0, "appstreamcli validate: " + result.stdout)
        else:
            failures.append("appstreamcli is missing (scripts/install-deps installs appstream)")

        icons = os.path.join(share, "icons", "hicolor")
        check(os.path.isfile(os.path.join(icons, "scalable", "apps", APP_ID + ".svg")), "the scalable icon")
        for size in (16, 24, 32, 48, 64, 128, 256):
            png = os.path.join(icons, "%dx%d" % (size, size), "apps", APP_ID + ".png")
            check(os.path.isfile(png), "the %d pixel icon" % size)
            if os.path.isfile(png):
                with open(png, "rb") as image:
                    header = image.read(24)
                width = int.from_bytes(header[16:20], "big")
                check(header[:8] == b"\x89PNG\r\n\x1a\n" and width == size, "the %d pixel icon is a PNG of that size" % size)

        manual = os.path.join(share, "man", "man1", "rolvane.1")
        check(os.path.isfile(manual), "the manual page is installed")
        if os.path.isfile(manual):
            with open(manual, encoding="utf-8") as page:
                check("@ROLVANE" not in page.read(), "the manual page is filled in")

        # The writer libraries are the program's own: a private folder, not the public one.
        libdirs = [d for d in os.listdir(prefix) if d.startswith("lib")]
        for writer in WRITERS:
            found = []
            for libdir in libdirs:
                for folder, _, files in os.walk(os.path.join(prefix, libdir)):
                    if any(f.startswith("lib%s.so" % writer) for f in files):
                        found.append(os.path.relpath(folder, prefix))
            check(found and all(os.path.basename(f) == "rolvane" for f in found),
                  "lib%s is installed only in the private folder (found in %s)" % (writer, found))

        # The window is a module in the private folder, which the program loads when the window opens.
        modules = [os.path.join(folder, "rolvane-window.so") for libdir in libdirs
                   for folder, _, files in os.walk(os.path.join(prefix, libdir)) if "rolvane-window.so" in files]
        check(len(modules) == 1 and os.path.basename(os.path.dirname(modules[0])) == "rolvane",
              "the window's module is installed in the private folder (found %s)" % modules)
        if modules and shutil.which("ldd"):
            check("not found" not in run(["ldd", modules[0]]).stdout, "the window's module finds its libraries")

        sections = run(["readelf", "-S", program]).stdout if shutil.which("readelf") else ""
        check(sections and ".debug_info" not in sections, "the program is stripped of debug information")

        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        version = run([program, "--version"], env=env)
        check(version.returncode == 0 and version.stdout.startswith("rolvane "), "rolvane --version: " + version.stdout)
        helped = run([program, "--help"], env=env)
        check(helped.returncode == 0, "rolvane --help")
        commands = re.findall(r"\n  rolvane \[--store PATH\] ([a-z][a-z-]*)", helped.stdout)
        check(len(commands) >= 4, "rolvane --help lists the commands")
        for command in commands:
            result = run([program, command, "--help"], env=env)
            check(result.returncode == 0, "rolvane %s --help: %s" % (command, result.stdout))

        # The installed program finds the writer libraries' templates: a real xlsx export.
        with tempfile.TemporaryDirectory(prefix="rolvane-install-export-") as work:
            store = os.path.join(work, "book.sqlite")
            card = os.path.join(work, "ann.vcf")
            with open(card, "w", encoding="utf-8") as out:
                out.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEND:VCARD\r\n")
            imported = run([program, "--store", store, "import", card], env=env)
            check(imported.returncode == 0, "import with the installed program: " + imported.stdout)
            exported = run([program, "--store", store, "export", "--format", "xlsx", "--to", work], env=env)
            check(exported.returncode == 0 and any(f.endswith(".xlsx") for f in os.listdir(work)),
                  "xlsx export with the installed program: " + exported.stdout)

    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        print("install check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
