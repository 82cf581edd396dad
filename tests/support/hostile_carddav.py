#!/usr/bin/env python3
"""A small CardDAV server for tests that behaves as a hostile or broken server can.

One address book, /u/book/, for the user "ann" with the password "secret" (Basic), kept in memory.
A second port plays another host: it answers 401 to everything. Every request either port receives
is written to requests.log in the folder given ("PORT METHOD PATH auth=yes|no ua=USER-AGENT").

What the server does wrong is read from the file "mode" in the folder at each request, one word a
line (no file: a well-behaved server):
  evil-hrefs        the listing also names cards outside the address book (another host, "..",
                    absolute paths, file:), and a multiget of them gives a card each
  drop-puts         a PUT is answered 201/204 with a new ETag, and the card is not kept
  fail-multiget=N   a multiget that asks for a card whose path ends in N fails with 500
  hide=N            the listing leaves out the card whose path ends in N (as one written after it)
  slow              answers trickle, one byte every half second
  silent            requests are read and never answered
  huge              the listing is 65 MB long
  bomb              the listing is sent gzip-encoded, 200 MB once decompressed

Usage: hostile_carddav.py FOLDER PORT OTHER_PORT
"""

import base64
import gzip
import hashlib
import http.server
import io
import os
import re
import socketserver
import sys
import threading
import time
import urllib.parse
from xml.sax.saxutils import escape

FOLDER, PORT, OTHER_PORT = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
BOOK = "/u/book/"
CARDS = {}  # path -> (etag, text)
LOCK = threading.Lock()
COUNTER = [0]


def modes():
    try:
        with open(os.path.join(FOLDER, "mode")) as f:
            return [line.strip() for line in f if line.strip()]
    except OSError:
        return []


def mode_value(name):
    for mode in modes():
        if mode.startswith(name + "="):
            return mode.split("=", 1)[1]
    return None


def new_etag(text):
    COUNTER[0] += 1
    return '"%s-%d"' % (hashlib.sha1(text.encode()).hexdigest()[:12], COUNTER[0])


def evil_hrefs():
    return [
        "http://127.0.0.1:%d%sevil.vcf" % (OTHER_PORT, BOOK),
        "../../escape1.vcf",
        "/etc/passwd",
        "/u/other/stolen.vcf",
        "file:///etc/passwd",
        BOOK + "%2e%2e/%2e%2e/encoded.vcf",
    ]


def evil_card(index):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:evil-%d\r\nN:Evil;Card%d;;;\r\nFN:Card%d Evil\r\nEND:VCARD\r\n"
            % (index, index, index))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def log_request_line(self):
        ua = self.headers.get("User-Agent", "")
        auth = "yes" if self.headers.get("Authorization") else "no"
        with LOCK, open(os.path.join(FOLDER, "requests.log"), "a") as log:
            log.write("%d %s %s auth=%s ua=%s\n" % (self.server.server_address[1], self.command, self.path, auth, ua))

    def body(self):
        length = int(self.headers.get("Content-Length", 0) or 0)
        return self.rfile.read(length).decode("utf-8", "replace") if length else ""

    def send(self, status, body=b"", headers=None):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        if "slow" in modes() and self.server.server_address[1] == PORT and self.command != "PUT":
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for byte in body:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(0.5)
            return
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_one_request(self):
        try:
            super().handle_one_request()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def authorised(self):
        expected = "Basic " + base64.b64encode(b"ann:secret").decode()
        if self.headers.get("Authorization") == expected:
            return True
        self.send(401, "", {"WWW-Authenticate": 'Basic realm="book"'})
        return False

    def dispatch(self):
        self.log_request_line()
        data = self.body()
        if self.server.server_address[1] == OTHER_PORT:
            self.send(401, "", {"WWW-Authenticate": 'Basic realm="other"'})
            return
        if "silent" in modes():
            time.sleep(3600)
            return
        if not self.authorised():
            return
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        getattr(self, "do_" + self.command.lower() + "_", self.unknown)(path, data)

    def unknown(self, path, data):
        self.send(405)

    def multistatus(self, responses, gzip_it=False):
        text = '<?xml version="1.0" encoding="utf-8"?><d:multistatus xmlns:d="DAV:" ' \
               'xmlns:card="urn:ietf:params:xml:ns:carddav">' + "".join(responses) + "</d:multistatus>"
        headers = {"Content-Type": "application/xml; charset=utf-8"}
        if gzip_it:
            headers["Content-Encoding"] = "gzip"
            return self.send(207, gzip.compress(text.encode(), 9), headers)
        self.send(207, text, headers)

    def do_propfind_(self, path, data):
        depth = self.headers.get("Depth", "0")
        collection = ('<d:response><d:href>%s</d:href><d:propstat><d:prop><d:resourcetype><d:collection/>'
                      '<card:addressbook/></d:resourcetype><d:displayname>Book</d:displayname></d:prop>'
                      '<d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>' % BOOK)
        def card(href, etag):
            return ('<d:response><d:href>%s</d:href><d:propstat><d:prop><d:resourcetype/><d:getetag>%s</d:getetag>'
                    '</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>'
                    % (escape(href), escape(etag)))
        if path.rstrip("/") + "/" == BOOK:
            responses = [collection]
            if depth != "0":
                hidden = mode_value("hide")
                with LOCK:
                    responses += [card(href, etag) for href, (etag, _) in sorted(CARDS.items())
                                  if not (hidden and href.endswith(hidden))]
                if "evil-hrefs" in modes():
                    responses += [card(href, '"evil-%d"' % i) for i, href in enumerate(evil_hrefs())]
                if "huge" in modes():
                    filler = "<d:response><d:href>%sfiller.vcf</d:href><d:status>HTTP/1.1 404 Not Found</d:status>" \
                             "</d:response>" % BOOK
                    responses += [filler] * (65 * 1024 * 1024 // len(filler) + 1)
                if "bomb" in modes():
                    responses += ["<!--" + " " * (200 * 1024 * 1024) + "-->"]
            return self.multistatus(responses, gzip_it="bomb" in modes())
        with LOCK:
            found = CARDS.get(path)
        if found:
            return self.multistatus([card(path, found[0])])
        self.send(404)

    def do_report_(self, path, data):
        if "sync-collection" in data:
            return self.send(501)
        hrefs = [urllib.parse.unquote(h.strip()) for h in re.findall(r"<d:href>(.*?)</d:href>", data, re.S)]
        hrefs = [h.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">") for h in hrefs]
        failing = mode_value("fail-multiget")
        if failing and any(h.endswith(failing) for h in hrefs):
            return self.send(500, "cannot read one of the cards")
        responses = []
        evil = evil_hrefs()
        for href in hrefs:
            with LOCK:
                found = CARDS.get(href)
            if found is None and "evil-hrefs" in modes() and href in [urllib.parse.unquote(e) for e in evil]:
                index = [urllib.parse.unquote(e) for e in evil].index(href)
                found = ('"evil-%d"' % index, evil_card(index))
            if found is None:
                responses.append("<d:response><d:href>%s</d:href><d:status>HTTP/1.1 404 Not Found</d:status>"
                                 "</d:response>" % escape(href))
                continue
            responses.append('<d:response><d:href>%s</d:href><d:propstat><d:prop><d:getetag>%s</d:getetag>'
                             '<card:address-data>%s</card:address-data></d:prop><d:status>HTTP/1.1 200 OK</d:status>'
                             '</d:propstat></d:response>' % (escape(href), escape(found[0]), escape(found[1])))
        self.multistatus(responses)

    def do_get_(self, path, data):
        with LOCK:
            found = CARDS.get(path)
        if not found:
            return self.send(404)
        self.send(200, found[1], {"ETag": found[0], "Content-Type": "text/vcard"})

    def do_put_(self, path, data):
        if not path.startswith(BOOK) or path == BOOK:
            return self.send(403)
        with LOCK:
            current = CARDS.get(path)
            if_match = self.headers.get("If-Match")
            if self.headers.get("If-None-Match") == "*" and current:
                return self.send(412)
            uid = re.search(r"^UID:(.*?)\r?$", data, re.M)
            if uid and any(other != path and re.search(r"^UID:%s\r?$" % re.escape(uid.group(1)), text, re.M)
                           for other, (_, text) in CARDS.items()):
                return self.send(409, "no-uid-conflict")
            if if_match and (not current or current[0] != if_match):
                return self.send(412)
            etag = new_etag(data)
            if "drop-puts" not in modes():
                CARDS[path] = (etag, data)
        self.send(204 if current else 201, "", {"ETag": etag})

    def do_delete_(self, path, data):
        with LOCK:
            current = CARDS.get(path)
            if not current:
                return self.send(404)
            if_match = self.headers.get("If-Match")
            if if_match and current[0] != if_match:
                return self.send(412)
            del CARDS[path]
        self.send(204)


for method in ("GET", "PUT", "DELETE", "PROPFIND", "REPORT", "MKCOL", "OPTIONS", "HEAD", "POST"):
    setattr(Handler, "do_" + method, Handler.dispatch)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


servers = [Server(("127.0.0.1", port), Handler) for port in (PORT, OTHER_PORT)]
threading.Thread(target=servers[1].serve_forever, daemon=True).start()
with open(os.path.join(FOLDER, "ready"), "w") as ready:
    ready.write("ready\n")
servers[0].serve_forever()
