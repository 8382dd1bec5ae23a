#!/usr/bin/env python3
"""The hand controller page in Debian's headless Chromium at a phone's size,
on the equatorial simulator: the pad moves an axis while held and stops it on
release or when the browser dies mid-hold; goto by name arrives and
stop-everything stops a goto; the status line shows the server's reading;
night mode survives a reload; a star added to the alignment lists its residual. Screenshots in both modes go to $SCREENSHOTS.

Usage: control_page_test.py SERVER EMULATOR ALPYCA_DIR
"""
import base64
import os
import signal
import sys
import tempfile
import time

import requests

sys.argv.insert(1, "control_page")  # alpaca_test's argument order: CASE first
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import alpaca_test as at  # noqa: E402
from alpaca_test import Browser, Server, check, wait_until  # noqa: E402


class Phone(Browser):
    """The shared WebDriver client, at 390x844, with a held pointer. The pointer
    is a mouse: chromedriver forgets a touch held across two action calls, and
    the page takes both as the same pointer events."""

    def __init__(self, home):
        port = at.free_udp_port()  # a free number; chromedriver takes it for TCP
        self.proc = at.subprocess.Popen(["chromedriver", f"--port={port}"],
                                        stdout=at.subprocess.DEVNULL, stderr=at.subprocess.DEVNULL)
        at.STARTED.append(self.proc)
        self.url = f"http://127.0.0.1:{port}"
        wait_until(self._up, 20, "chromedriver")
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                f"--user-data-dir={home}/chromium"]
        # A phone's screen, without touch events (see above).
        phone = {"deviceMetrics": {"width": 390, "height": 844, "pixelRatio": 1.0,
                                   "touch": False, "mobile": True}}
        r = requests.post(self.url + "/session", json={"capabilities": {"alwaysMatch": {
            "goog:chromeOptions": {"binary": "/usr/bin/chromium", "args": args,
                                   "mobileEmulation": phone}}}}).json()
        self.session = f"{self.url}/session/{r['value']['sessionId']}"
        self.do("/timeouts", {"implicit": 10000})

    def pointer(self, css, kind):
        """A finger down on `css`, or up again (WebDriver keeps it down between calls)."""
        if kind == "down":
            r = self.do(self.element(css) + "/rect")
            actions = [{"type": "pointerMove", "origin": "viewport",
                        "x": int(r["x"] + r["width"] / 2), "y": int(r["y"] + r["height"] / 2)},
                       {"type": "pointerDown", "button": 0}]
        else:
            actions = [{"type": "pointerUp", "button": 0}]
        self.do("/actions", {"actions": [{"type": "pointer", "id": "finger",
                                          "parameters": {"pointerType": "mouse"},
                                          "actions": actions}]})

    def text(self, css):
        return self.do(self.element(css) + "/text")

    def script(self, code):
        return self.do("/execute/sync", {"script": code, "args": []})

    def shot(self, name):
        shots = os.environ.get("SCREENSHOTS", ".")
        os.makedirs(shots, exist_ok=True)
        with open(f"{shots}/{name}.png", "wb") as f:
            f.write(base64.b64decode(self.do("/screenshot")))

    def end(self):
        """Ends the browser (whatever is left of it) and then chromedriver."""
        try:
            requests.delete(self.session, timeout=10)
        except requests.RequestException:
            pass
        for pid in self.chromium_pids():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self.proc.kill()
        self.proc.wait()

    def chromium_pids(self):
        """The browsers chromedriver started (children of its process)."""
        pids = []
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                if int(fields[1]) == self.proc.pid:
                    pids.append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
        return pids


def main(home):
    s = Server(home, "--model", "6")
    # An Alpaca client too, which sets the site: far enough north (78 N) that
    # Arcturus (Dec +19) never sets, so its goto is not refused at some hours.
    t = at.connect(s, model_site=False)
    t.SiteLatitude, t.SiteLongitude, t.SiteElevation = 78.2, 15.6, 10
    status = lambda: requests.get(f"http://{s.address}/control/status").json()  # noqa: E731
    b = Phone(home)
    try:
        b.do("/url", {"url": f"http://{s.address}/control/"})
        wait_until(lambda: "RA" in b.text("#status"), 20, "the status line")
        size = b.script("return [innerWidth, innerHeight, outerWidth, outerHeight, screen.width, screen.height]")
        check(size[:2] == [390, 844], f"a phone's size: {size}")

        # The status line shows what the server's reading holds.
        t.Tracking = True
        time.sleep(1.5)
        shown = float(b.do(b.element("#status") + "/attribute/data-ra"))
        check(abs(shown - t.RightAscension) < 0.01, f"page RA {shown} vs {t.RightAscension}")
        b.shot("control_day")

        # Hold the pad: the axis moves for longer than a lease's term; release stops it.
        b.pointer("#pad-w", "down")
        wait_until(lambda: t.Slewing, 10, "the pad to move the axis")
        time.sleep(2.0)
        check(t.Slewing and status()["pad"] == 1, "still moving while held")
        b.pointer("#pad-w", "up")
        wait_until(lambda: not t.Slewing, 5, "the release to stop the axis")
        check(t.Tracking, "tracking goes on after the pad")

        # Goto by name: a misspelt name is answered with the close one.
        b.fill("#name", "Arcturas")
        b.do(b.element("#goto-name") + "/click", {})
        wait_until(lambda: "Arcturus" in b.text("#suggestions"), 10, "did you mean")
        wait_until(lambda: "did you mean Arcturus" in b.text("#where"), 10, "the look-up")
        b.do(b.element("#suggestions button") + "/click", {})
        wait_until(lambda: "altitude" in b.text("#where"), 10, "the altitude now")
        b.do(b.element("#goto-name") + "/click", {})
        wait_until(lambda: "going to Arcturus" in b.text("#message"), 10,
                   lambda: "the goto; the page says: " + b.text("#message"))
        wait_until(lambda: status().get("lastGoto") == "arrived", 60, "arrival")
        check(abs(t.Declination - 19.04) < 0.2, f"at Arcturus: Dec {t.Declination}")

        # Align on it: the goto's star is the one to add; its residual is listed.
        check(b.do(b.element("#star") + "/property/value") == "Arcturus", "the star to add")
        b.do(b.element("#align") + "/click", {})
        wait_until(lambda: "Arcturus" in b.text("#residuals"), 20, "the residuals")
        check("aligned on 1 star" in b.text("#message"), b.text("#message"))

        # Stop-everything stops a goto on its way.
        b.fill("#ra", "3 0 0")
        b.fill("#dec", "60")
        b.do(b.element("#goto-coords") + "/click", {})
        wait_until(lambda: t.Slewing, 10, "the second goto to start")
        b.do(b.element("#stop") + "/click", {})
        wait_until(lambda: not t.Slewing, 5, "stop-everything")
        dec = t.Declination
        time.sleep(1.0)
        check(abs(t.Declination - dec) < 0.01 and dec < 55, f"halted short of it at Dec {dec}")
        check(status()["lastGoto"] == "stopped", "the status names the stop")

        # Night mode is remembered across a reload.
        b.do(b.element("#night") + "/click", {})
        b.do("/refresh", {})
        wait_until(lambda: b.script("return document.body.className") == "night", 10, "night")
        wait_until(lambda: "RA" in b.text("#status"), 20, "the status line at night")
        b.shot("control_night")

        # A browser killed while the pad is held: its lease lapses and the axis stops.
        b.pointer("#pad-n", "down")
        wait_until(lambda: t.Slewing, 10, "the second hold")
        for pid in b.chromium_pids():
            if os.path.basename(os.readlink(f"/proc/{pid}/exe")) != "chromedriver":
                os.kill(pid, signal.SIGKILL)
        wait_until(lambda: not t.Slewing, 5, "the lapsed lease to stop the axis")
        check(status()["pad"] == 0, "no lease left")
    finally:
        b.end()
    s.stop()


if __name__ == "__main__":
    try:
        with tempfile.TemporaryDirectory() as home:
            main(home)
    finally:
        for p in at.STARTED:
            if p.poll() is None:
                p.kill()
                p.wait()
    print("alpaca control_page: 1 passed, 0 failed")
