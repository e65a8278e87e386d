"""The run page of a workflow run opened in a real browser (headless Chromium, driven through its
DevTools protocol): every image loaded, every table present, no error on the console. A screenshot
of the whole page is saved and its path printed.

Usage: test_page_browser.py --run FOLDER --screenshot FILE.png
  FOLDER is where the run's config.yaml lies (relative paths of the run are taken from there).
Exits with 77 (skipped) when Chromium, the websocket client or the run's page is missing.
"""

import argparse
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77
TIMEOUT = 60

# What the page holds once loaded, read inside the browser.
PAGE_STATE = """JSON.stringify({
  images: Array.from(document.images).map(i => ({src: i.getAttribute('src'),
                                                 loaded: i.complete && i.naturalWidth > 0})),
  tables: Array.from(document.querySelectorAll('table')).map(t => t.rows.length),
  unavailable: document.body.innerText.split('report unavailable').length - 1,
  width: document.documentElement.scrollWidth,
  height: document.documentElement.scrollHeight})"""


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    """A headless Chromium with one page, spoken to over the DevTools websocket."""

    def __init__(self, chromium, profile):
        command = [chromium, "--headless", "--disable-gpu", "--no-first-run",
                   "--no-default-browser-check", "--remote-debugging-port=0",
                   "--remote-allow-origins=*", "--user-data-dir=" + profile,
                   "--window-size=1280,900", "about:blank"]
        if os.geteuid() == 0:
            command.insert(1, "--no-sandbox")  # Chromium refuses to run as root with its sandbox
        self.errors_file = open(os.path.join(profile, "chromium.err"), "w+")
        self.proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=self.errors_file)
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.monotonic() + TIMEOUT
        while not (os.path.exists(port_file) and os.path.getsize(port_file) > 0):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("Chromium did not start: %s" % self.chromium_errors())
            time.sleep(0.1)
        with open(port_file) as handle:
            port = int(handle.readline())
        with urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port, timeout=10) as reply:
            targets = json.load(reply)
        url = next(t["webSocketDebuggerUrl"] for t in targets if t.get("type") == "page")
        import websocket
        self.socket = websocket.create_connection(url, timeout=TIMEOUT, suppress_origin=True)
        self.next_id = 0
        self.events = []

    def chromium_errors(self):
        self.errors_file.seek(0)
        return self.errors_file.read()[-2000:]

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self.events.append(message)

    def wait_for(self, event):
        deadline = time.monotonic() + TIMEOUT
        while not any(e.get("method") == event for e in self.events):
            if time.monotonic() > deadline:
                raise RuntimeError("no %s within %d s" % (event, TIMEOUT))
            self.events.append(json.loads(self.socket.recv()))

    def console_errors(self):
        """Errors the page reported: console errors, uncaught exceptions, failed loads."""
        found = []
        for e in self.events:
            params = e.get("params", {})
            if e.get("method") == "Runtime.consoleAPICalled" and params.get("type") in (
                    "error", "assert"):
                found.append(" ".join(str(a.get("value", a.get("description", "")))
                                      for a in params.get("args", [])))
            elif e.get("method") == "Runtime.exceptionThrown":
                found.append(params["exceptionDetails"].get("text", "exception"))
            elif e.get("method") == "Log.entryAdded" and params["entry"].get("level") == "error":
                found.append("%s (%s)" % (params["entry"].get("text"), params["entry"].get("url")))
        return found

    def close(self):
        try:
            self.call("Browser.close")
        except Exception:  # the browser may already be gone; it is ended below
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.errors_file.close()


def expected_counts(run):
    """(images, tables) that the page of the run in folder `run` must show."""
    from vegflow.plan import Plan
    with open(os.path.join(run, "config.yaml")) as handle:
        config = json.load(handle)
    here = os.getcwd()
    os.chdir(run)
    try:
        plan = Plan(config)
    finally:
        os.chdir(here)
    composites = len(plan.composites)
    # A quicklook and a histogram table per product, an indicator table per period, two legends,
    # the indicators' charts and the table of step times.
    return (2 * composites + 2 + len(plan.charted()), 3 * composites + 1,
            os.path.join(run, plan.page()))


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--run", required=True)
    parser.add_argument("--screenshot", required=True)
    args = parser.parse_args(argv)
    chromium = find_chromium()
    reasons = []
    if chromium is None:
        reasons.append("Chromium is not installed (Debian package chromium)")
    try:
        import websocket  # noqa: F401
    except ImportError:
        reasons.append("the websocket client is missing (Debian package python3-websocket)")
    if not os.path.isfile(os.path.join(args.run, "config.yaml")):
        reasons.append("no workflow run in %s" % args.run)
    if reasons:
        print("skipped: %s" % "; ".join(reasons))
        return SKIP
    images, tables, page = expected_counts(args.run)
    if not os.path.isfile(page):
        print("skipped: the run has no page %s" % page)
        return SKIP

    profile = tempfile.mkdtemp(prefix="page-browser-")
    failures = []
    browser = None
    try:
        browser = Browser(chromium, profile)
        for domain in ("Page", "Runtime", "Log"):
            browser.call(domain + ".enable")
        browser.call("Page.navigate", url="file://" + os.path.abspath(page))
        browser.wait_for("Page.loadEventFired")
        state = json.loads(browser.call("Runtime.evaluate", expression=PAGE_STATE,
                                        returnByValue=True)["result"]["value"])
        shot = browser.call("Page.captureScreenshot", format="png", captureBeyondViewport=True,
                            clip={"x": 0, "y": 0, "width": state["width"],
                                  "height": state["height"], "scale": 1})
        os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
        with open(args.screenshot, "wb") as handle:
            handle.write(base64.b64decode(shot["data"]))
        print("screenshot of %s: %s" % (page, os.path.abspath(args.screenshot)))

        broken = [i["src"] for i in state["images"] if not i["loaded"]]
        if len(state["images"]) != images or broken:
            failures.append("%d images, %d expected; not loaded: %s"
                            % (len(state["images"]), images, ", ".join(broken) or "none"))
        if len(state["tables"]) != tables or min(state["tables"] or [0]) < 2:
            failures.append("tables with their row counts %s; %d tables expected, each with rows"
                            % (state["tables"], tables))
        if state["unavailable"]:
            failures.append("%d reports unavailable" % state["unavailable"])
        failures += ["console: %s" % e for e in browser.console_errors()]
    except (OSError, RuntimeError, ValueError, KeyError) as err:
        failures.append("%s; Chromium said: %s"
                        % (err, browser.chromium_errors() if browser else "nothing"))
    finally:
        if browser:
            browser.close()
        shutil.rmtree(profile, ignore_errors=True)
    for failure in failures:
        print("FAIL: %s" % failure)
    if not failures:
        print("page checked: %d images loaded, %d tables, no console errors" % (images, tables))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
