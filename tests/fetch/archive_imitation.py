#!/usr/bin/env python3
"""A local imitation of the tile archive for tilefetch's tests, benchmark and demo.

One HTTP server on 127.0.0.1 answers for four host names, told apart by the Host header (the
client maps each name to the loopback address):
  catalogue  GET /search/granules.umm_json: UMM JSON records of the tiles of a folder, paged with
             the CMR-Search-After header, filtered by short_name, temporal[] and name patterns
  login      GET /oauth/authorize: HTTP Basic against one user, then back to the data host with
             a code
  data       GET /login?code=..&state=..: sets the session cookie; GET /<path>: without the cookie
             (or a valid bearer token) to the login host, with it a 303 to a signed URL
  signed     GET /<key>?X-Amz-Signature=..: the file, Range honoured; 400 when any Authorization
             header comes along

The fault table (FAULTS) is switched per tile: every granule of a tile gets the tile's faults;
faults marked once hit the first request of that granule only. Run as a program it serves until
killed (see --help); the tests import it and run it in a thread.
"""

import argparse
import base64
import datetime
import fnmatch
import hashlib
import json
import os
import re
import signal
import socket
import struct
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HOSTS = {"catalogue": "catalogue.imitation.test", "login": "login.imitation.test",
         "data": "data.imitation.test", "signed": "signed.imitation.test"}

# fault name -> (where it acts, once?)
FAULTS = {
    "loginpage": ("data", False),    # 200 text/html: a login page in place of the file
    "truncate": ("signed", True),    # the body stops half-way, the connection closes
    "reset": ("signed", True),       # a part of the body, then a connection reset
    "drip": ("signed", True),        # a few bytes per second
    "503": ("signed", True),         # 503 with Retry-After: 1
    "429": ("data", True),           # 429 with Retry-After: 1
    "wrongsum": ("catalogue", False),  # the record's checksum is not the file's
    "range200": ("signed", True),    # a Range request answered 200 with the whole file
    "416": ("signed", True),         # a Range request answered 416
    "missing": ("data", False),      # listed, but 404 on the data host
    "duplicate": ("catalogue", False),  # also listed: an older production of the same tile and day
    "nochecksum": ("catalogue", False),  # the record has no checksum
    "md5": ("catalogue", False),     # the record's checksum is MD5
    "badrecord": ("catalogue", False),  # the record lacks its link and size
}
RUN_FAULTS = {"badjson"}
INVALID_RANGE = "<Error><Code>InvalidRange</Code></Error>"  # every catalogue page is not JSON

NAME = re.compile(r"^(?P<product>[A-Z0-9]+)\.A(?P<year>\d{4})(?P<doy>\d{3})\.(?P<tile>h\d\dv\d\d)\."
                  r"(?P<coll>\d{3})\.(?P<prod>\d{13})$")


def production_time(stamp):
    t = datetime.datetime.strptime(stamp, "%Y%j%H%M%S")
    return t.strftime("%Y-%m-%dT%H:%M:%S.000Z")


class Archive:
    """The imitation; start() serves in a thread, stop() ends it. `log` lists every request."""

    def __init__(self, folder, user="analyst", password="secret", token="token-1234",
                 faults=None, run_faults=(), port=0, throttle=None):
        self.folder = folder
        self.user, self.password, self.token = user, password, token
        self.faults = faults or {}  # tile -> set of fault names
        self.run_faults = set(run_faults)
        self.log = []
        self.sessions = set()
        self.codes = {}
        self.used = set()
        self.lock = threading.Lock()
        self.secret = os.urandom(8).hex()
        self.server = Server(("127.0.0.1", port), Handler)
        self.server.archive = self
        self.port = self.server.server_address[1]
        self.thread = None
        self.records_cache = None
        self.throttle = throttle  # bytes per second of each file transfer; None: as fast as it goes

    # -- set-up ----------------------------------------------------------------------------------
    def resolve_lines(self):
        return ["resolve = %s:%d:127.0.0.1" % (h, self.port) for h in HOSTS.values()]

    def config_text(self):
        return "\n".join([
            "catalogue = http://%s:%d/search/granules.umm_json" % (HOSTS["catalogue"], self.port),
            "login_host = " + HOSTS["login"], "data_host = " + HOSTS["data"]]
            + self.resolve_lines()) + "\n"

    def start(self):
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def has(self, tile, fault):
        return fault in self.faults.get(tile, ())

    def first_time(self, granule, fault):
        with self.lock:
            if (granule, fault) in self.used:
                return False
            self.used.add((granule, fault))
            return True

    # -- the catalogue's records -----------------------------------------------------------------
    def records(self):
        if self.records_cache is not None:
            return self.records_cache
        out = []
        for name in sorted(os.listdir(self.folder)):
            m = NAME.match(name[:-4]) if name.endswith(".hdf") else None
            if not m:
                continue
            ur, path = name[:-4], os.path.join(self.folder, name)
            with open(path, "rb") as f:
                data = f.read()
            tile = m.group("tile")
            algorithm, digest = "SHA-256", hashlib.sha256(data).hexdigest()
            if self.has(tile, "md5"):
                algorithm, digest = "MD5", hashlib.md5(data).hexdigest()
            if self.has(tile, "wrongsum"):
                digest = ("0" if digest[0] != "0" else "1") + digest[1:]
            day = (datetime.date(int(m.group("year")), 1, 1)
                   + datetime.timedelta(int(m.group("doy")) - 1))
            out.append(self.record(ur, m, day, len(data), algorithm, digest))
            if self.has(tile, "duplicate"):
                older = "%s%07d" % (m.group("prod")[:6], 0)
                out.append(self.record(ur[:-13] + older, m, day, len(data), algorithm, digest,
                                       production=older))
        self.records_cache = out
        return out

    def record(self, ur, m, day, size, algorithm, digest, production=None):
        key = "%s.%s/%s/%s.hdf" % (m.group("product"), m.group("coll"), ur, ur)
        info = {"Name": ur + ".hdf", "SizeInBytes": size}
        if not self.has(m.group("tile"), "nochecksum"):
            info["Checksum"] = {"Value": digest, "Algorithm": algorithm}
        umm = {"GranuleUR": ur,
               "CollectionReference": {"ShortName": m.group("product"), "Version": m.group("coll")},
               "TemporalExtent": {"RangeDateTime": {
                   "BeginningDateTime": day.isoformat() + "T00:00:00.000Z",
                   "EndingDateTime": day.isoformat() + "T23:59:59.000Z"}},
               "DataGranule": {"DayNightFlag": "Day",
                               "ProductionDateTime": production_time(production or m.group("prod")),
                               "ArchiveAndDistributionInformation": [info]},
               "RelatedUrls": [
                   {"URL": "http://%s:%d/protected/%s" % (HOSTS["data"], self.port, key),
                    "Type": "GET DATA"},
                   {"URL": "s3://protected/" + key, "Type": "GET DATA VIA DIRECT ACCESS"}]}
        if self.has(m.group("tile"), "badrecord"):
            del umm["RelatedUrls"]
            info["SizeInBytes"] = "large"
        return {"meta": {"concept-type": "granule", "native-id": ur, "provider-id": "IMITATION"},
                "umm": umm, "_day": day.isoformat(), "_product": m.group("product"), "_ur": ur}

    def sign(self, key):
        return hashlib.sha256((self.secret + key).encode()).hexdigest()[:32]


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that went away mid-answer (the faults make many)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "imitation"

    def log_message(self, fmt, *args):
        pass

    # -- helpers ---------------------------------------------------------------------------------
    def note(self, status, sent=0, **extra):
        entry = {"host": self.host, "path": self.path, "status": status, "bytes": sent,
                 "range": self.headers.get("Range"),
                 "authorization": self.headers.get("Authorization"),
                 "user_agent": self.headers.get("User-Agent"), "time": time.time()}
        entry.update(extra)
        with self.archive.lock:
            self.archive.log.append(entry)

    def reply(self, status, body=b"", content_type="text/html; charset=utf-8", headers=()):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)
        self.note(status, len(body))

    def redirect(self, status, location, headers=()):
        self.reply(status, "", headers=[("Location", location)] + list(headers))

    def do_GET(self):
        self.archive = self.server.archive
        self.host = (self.headers.get("Host") or "").split(":")[0]
        url = urllib.parse.urlsplit(self.path)
        self.query = urllib.parse.parse_qs(url.query)
        role = {v: k for k, v in HOSTS.items()}.get(self.host)
        if role is None:
            return self.reply(421, "<html>unknown host</html>")
        getattr(self, "serve_" + role)(url.path)

    # -- catalogue -------------------------------------------------------------------------------
    def serve_catalogue(self, path):
        a = self.archive
        if path != "/search/granules.umm_json":
            return self.reply(404, "<html>not found</html>")
        if "badjson" in a.run_faults:
            return self.reply(200, '{"hits": 1, "items": [{"meta": ', "application/json")
        q = self.query
        short = q.get("short_name", [""])[0]
        span = q.get("temporal[]", [""])[0].split(",")
        patterns = q.get("readable_granule_name[]", [])
        size = min(int(q.get("page_size", ["10"])[0]), 2000)
        first, last = span[0][:10], span[-1][:10]
        hits = [r for r in a.records() if r["_product"] == short and first <= r["_day"] <= last
                and (not patterns or any(fnmatch.fnmatchcase(r["_ur"], p) for p in patterns))]
        start = 0
        mark = self.headers.get("CMR-Search-After")
        if mark:
            start = json.loads(mark)[1]
        page = hits[start:start + size]
        headers = [("CMR-Hits", str(len(hits)))]
        if page:
            headers.append(("CMR-Search-After", json.dumps(["imitation", start + len(page)])))
        items = [{k: v for k, v in r.items() if not k.startswith("_")} for r in page]
        body = json.dumps({"hits": len(hits), "took": 1, "items": items})
        self.reply(200, body, "application/json", headers)

    # -- login -----------------------------------------------------------------------------------
    def serve_login(self, path):
        a = self.archive
        auth = self.headers.get("Authorization", "")
        expected = "Basic " + base64.b64encode(("%s:%s" % (a.user, a.password)).encode()).decode()
        if path != "/oauth/authorize":
            return self.reply(404, "<html>not found</html>")
        if auth != expected:
            return self.reply(401, "<html><body>Invalid username or password</body></html>",
                              headers=[("WWW-Authenticate", 'Basic realm="login"')])
        code = os.urandom(8).hex()
        with a.lock:
            a.codes[code] = True
        redirect = self.query.get("redirect_uri", [""])[0]
        state = self.query.get("state", [""])[0]
        self.redirect(302, redirect + "?" + urllib.parse.urlencode({"code": code, "state": state}),
                      [("Set-Cookie", "login_session=x; Path=/")])

    # -- data host -------------------------------------------------------------------------------
    def serve_data(self, path):
        a = self.archive
        if path == "/login":
            code = self.query.get("code", [""])[0]
            with a.lock:
                known = a.codes.pop(code, False)
            if not known:
                return self.reply(400, "<html>no code</html>")
            return self.start_session(self.query.get("state", ["/"])[0], 301)
        auth = self.headers.get("Authorization", "")
        if auth == "Bearer " + a.token:
            return self.start_session(self.path, 303, signed=True)
        cookies = dict(c.strip().split("=", 1)
                       for c in self.headers.get("Cookie", "").split(";") if "=" in c)
        if cookies.get("data_session") not in a.sessions:
            back = "http://%s:%d/login" % (HOSTS["data"], a.port)
            return self.redirect(302, "http://%s:%d/oauth/authorize?%s" % (
                HOSTS["login"], a.port, urllib.parse.urlencode(
                    {"client_id": "imitation", "response_type": "code", "redirect_uri": back,
                     "state": self.path})))
        self.signed_redirect(path)

    def start_session(self, location, status, signed=False):
        session = os.urandom(8).hex()
        with self.archive.lock:
            self.archive.sessions.add(session)
        cookie = ("Set-Cookie", "data_session=%s; Path=/" % session)
        if signed:
            return self.signed_redirect(urllib.parse.urlsplit(location).path, [cookie])
        self.redirect(status, location, [cookie])

    def signed_redirect(self, path, headers=()):
        a = self.archive
        key = path[len("/protected/"):] if path.startswith("/protected/") else ""
        ur = key.split("/")[1] if key.count("/") == 2 else ""
        m = NAME.match(ur)
        tile = m.group("tile") if m else ""
        if (not m or a.has(tile, "missing")
                or not os.path.exists(os.path.join(a.folder, ur + ".hdf"))):
            return self.reply(404, "<html><body>Not Found</body></html>")
        if a.has(tile, "loginpage"):
            return self.reply(200, "<!DOCTYPE html><html><head><title>Log in</title></head>"
                              "<body><form>Username</form></body></html>")
        if a.has(tile, "429") and a.first_time(ur, "429"):
            return self.reply(429, "<html>slow down</html>", headers=[("Retry-After", "1")])
        self.redirect(303, "http://%s:%d/%s?X-Amz-Expires=3600&X-Amz-Signature=%s" % (
            HOSTS["signed"], a.port, key, a.sign(key)),
            list(headers) + [("Cache-Control", "private")])

    # -- signed host -----------------------------------------------------------------------------
    def serve_signed(self, path):
        a = self.archive
        key = path.lstrip("/")
        if self.headers.get("Authorization"):
            return self.reply(400, "<?xml version=\"1.0\"?><Error><Code>InvalidArgument</Code>"
                              "<Message>Only one auth mechanism allowed</Message></Error>",
                              "application/xml")
        if self.query.get("X-Amz-Signature", [""])[0] != a.sign(key):
            return self.reply(403, "<Error><Code>AccessDenied</Code></Error>", "application/xml")
        ur = key.split("/")[1]
        tile = NAME.match(ur).group("tile")
        with open(os.path.join(a.folder, ur + ".hdf"), "rb") as f:
            data = f.read()
        if a.has(tile, "503") and a.first_time(ur, "503"):
            return self.reply(503, "<Error><Code>SlowDown</Code></Error>", "application/xml",
                              [("Retry-After", "1")])
        rng = self.headers.get("Range")
        start = 0
        if rng:
            if a.has(tile, "416") and a.first_time(ur, "416"):
                return self.reply(416, INVALID_RANGE, "application/xml")
            if not (a.has(tile, "range200") and a.first_time(ur, "range200")):
                start = int(re.match(r"bytes=(\d+)-", rng).group(1))
                if start >= len(data):
                    return self.reply(416, INVALID_RANGE, "application/xml")
        body = data[start:]
        self.send_response(206 if start else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        self.end_headers()
        sent = 0
        if a.has(tile, "truncate") and a.first_time(ur, "truncate"):
            self.wfile.write(body[:len(body) // 2])
            self.close_connection = True
            return self.note(200, len(body) // 2, fault="truncate")
        if a.has(tile, "reset") and a.first_time(ur, "reset"):
            self.wfile.write(body[:len(body) // 3])
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            self.connection.close()
            return self.note(200, len(body) // 3, fault="reset")
        if a.has(tile, "drip") and a.first_time(ur, "drip"):
            try:
                for _ in range(60):
                    self.wfile.write(body[sent:sent + 50])
                    self.wfile.flush()
                    sent += 50
                    time.sleep(0.25)
            except OSError:
                pass
            self.close_connection = True
            return self.note(200, sent, fault="drip")
        try:
            view = memoryview(body)
            chunk = 1 << 20 if not a.throttle else max(1, min(1 << 18, a.throttle // 4))
            while sent < len(body):
                self.wfile.write(view[sent:sent + chunk])
                sent += min(chunk, len(body) - sent)
                if a.throttle:
                    time.sleep(chunk / a.throttle)
        except OSError:
            self.close_connection = True
        self.note(206 if start else 200, sent)


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("folder", help="folder of <GranuleUR>.hdf files")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--fault", action="append", default=[], help="TILE=FAULT, or FAULT for the run")
    p.add_argument("--user", default="analyst")
    p.add_argument("--password", default="secret")
    p.add_argument("--config", help="write tilefetch's configuration for this imitation here")
    p.add_argument("--log", help="append each request as a JSON line here on exit")
    args = p.parse_args()
    faults, run_faults = {}, []
    for f in args.fault:
        if "=" in f:
            tile, name = f.split("=", 1)
            faults.setdefault(tile, set()).add(name)
        else:
            run_faults.append(f)
    archive = Archive(args.folder, args.user, args.password, faults=faults, run_faults=run_faults,
                      port=args.port)
    if args.config:
        with open(args.config, "w") as f:
            f.write(archive.config_text())
    print("imitation on 127.0.0.1:%d" % archive.port, flush=True)
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    try:
        archive.server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        if args.log:
            with open(args.log, "a") as f:
                for entry in archive.log:
                    f.write(json.dumps(entry) + "\n")


if __name__ == "__main__":
    main()
