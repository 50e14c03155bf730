#!/usr/bin/env python3
"""The viewer in a real browser: headless Chromium against ocam view and ocamsim
on loopback. The page loads, its picture changes, the exposure slider and an
output switch change the simulated camera (read back from the simulator), and
a simulator restart shows "lost" and then "recovered" without a reload. Saves a
screenshot. Every process it starts is ended on the way out, also on failure.

usage: browser_test.py --ocam PATH --ocamsim PATH --screenshot PNG
Exit status 0 passed, 1 failed, 77 skipped (no Chromium, chromedriver or Selenium).
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

DEADLINE_S = 75  # the whole test, whatever hangs
WAIT_S = 15      # one condition on a busy machine


def fail(message):
    raise AssertionError(message)


def wait_for(what, condition, timeout=WAIT_S):
    until = time.monotonic() + timeout
    while time.monotonic() < until:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)


class Processes:
    """Processes started by the test, each ended (SIGINT, then SIGKILL) on stop."""

    def __init__(self):
        self.running = []

    def start(self, args, **kwargs):
        p = subprocess.Popen(args, start_new_session=True, **kwargs)
        self.running.append(p)
        return p

    def stop(self, p, sig=signal.SIGINT):
        if p.poll() is None:
            p.send_signal(sig)
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait(timeout=5)
        if p in self.running:
            self.running.remove(p)

    def stop_all(self):
        for p in list(reversed(self.running)):
            self.stop(p)


def start_sim(procs, ocamsim, camera_port=0, io_port=0, log="/tmp/ocamsim.log"):
    with open(log, "w") as out:
        sim = procs.start([ocamsim, "--camera-port", str(camera_port), "--io-port", str(io_port),
                           "--bind", "127.0.0.1"], stderr=out, stdout=subprocess.DEVNULL)
    line = wait_for("ocamsim to listen",
                    lambda: re.search(r"camera on 127\.0\.0\.1:(\d+), inputs/outputs/LEDs on "
                                      r"127\.0\.0\.1:(\d+)", open(log).read()))
    return sim, int(line.group(1)), int(line.group(2))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ocam", required=True)
    parser.add_argument("--ocamsim", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--workdir", default=None)
    args = parser.parse_args()

    chromedriver = shutil.which("chromedriver")
    chromium = shutil.which("chromium")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
    except ImportError:
        chromedriver = None
    if not chromedriver or not chromium:
        print("skipped: chromium, chromedriver or python3-selenium missing (scripts/setup)")
        return 77

    def deadline(signum, frame):
        raise TimeoutError("the browser test ran past %d s" % DEADLINE_S)
    signal.signal(signal.SIGALRM, deadline)
    signal.alarm(DEADLINE_S)

    workdir = args.workdir or os.path.dirname(os.path.abspath(args.screenshot))
    os.makedirs(workdir, exist_ok=True)
    sim_log = os.path.join(workdir, "browser_ocamsim.log")
    view_log = os.path.join(workdir, "browser_ocam_view.log")
    procs = Processes()
    driver = None
    try:
        sim, camera_port, io_port = start_sim(procs, args.ocamsim, log=sim_log)
        camera = "127.0.0.1:%d" % camera_port
        io = "127.0.0.1:%d" % io_port

        def ocam(*words):
            out = subprocess.run([args.ocam, "--timeout", "3000"] + list(words),
                                 capture_output=True, text=True, timeout=15)
            return out.stdout.strip() if out.returncode == 0 else None

        with open(view_log, "w") as out:
            view = procs.start([args.ocam, "view", "-a", camera, "--io-address", io, "--port", "0"],
                               stdout=out, stderr=subprocess.STDOUT)
        url = wait_for("ocam view's address",
                       lambda: re.search(r"open (http://127\.0\.0\.1:\d+/\?token=\w+)",
                                         open(view_log).read()))
        url = url.group(1)

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1060,720", "--no-first-run", "--disable-extensions",
                     "--disable-background-networking", "--disable-sync", "--metrics-recording-only",
                     "--no-default-browser-check", "--disable-component-update"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(chromedriver), options=options)
        driver.set_page_load_timeout(WAIT_S)
        driver.set_script_timeout(WAIT_S)
        driver.get(url)
        if driver.title != "ocam view":
            fail("the page's title is %r" % driver.title)

        # The picture comes and changes.
        js_seq = "return window.ocamView ? window.ocamView.seqNr : -1;"
        first = wait_for("the first picture", lambda: driver.execute_script(js_seq) >= 0 and
                         driver.execute_script(js_seq) + 1)
        image = "return document.getElementById('picture').toDataURL('image/jpeg', 0.5);"
        before = driver.execute_script(image)
        wait_for("the picture to change",
                 lambda: driver.execute_script(js_seq) >= first + 5 and
                 driver.execute_script(image) != before)
        print("pictures: from frame %d on, changing" % (first - 1))
        wait_for("the numbers", lambda: float(driver.find_element(By.ID, "fps").text or 0) > 0)

        # The exposure slider, moved as a user would, reaches the camera.
        slider = wait_for("the exposure control",
                          lambda: driver.find_elements(By.ID, "slider-shutterTime"))[0]
        slider.click()
        for _ in range(40):
            slider.send_keys(Keys.ARROW_RIGHT)
        shown = int(float(driver.find_element(By.ID, "set-shutterTime").get_attribute("value")))
        wait_for("the simulator's exposure to become %d us" % shown,
                 lambda: ocam("get", "-a", camera, "shutter") == str(shown))
        print("exposure: the slider set %d us, the simulator has it" % shown)
        box = driver.find_element(By.ID, "set-shutterTime")
        box.clear()
        box.send_keys("12000" + Keys.ENTER)
        wait_for("the simulator's exposure to become 12000 us",
                 lambda: ocam("get", "-a", camera, "shutter") == "12000")

        # An output switched on the page is switched at the camera.
        switch = wait_for("the output switches", lambda: driver.find_elements(By.ID, "output1"))[0]
        switch.click()
        wait_for("output O1 on at the simulator",
                 lambda: (json.loads(ocam("outputs", "-a", io, "--json") or "{}").get("O1")))
        print("outputs: O1 switched on at the simulator")

        # The camera goes away and comes back: the page says so without a reload.
        state = lambda: driver.find_element(By.ID, "state").text
        wait_for("the state 'running'", lambda: state() == "running")
        procs.stop(sim, signal.SIGTERM)
        wait_for("the state 'lost'", lambda: state() == "lost")
        sim, _, _ = start_sim(procs, args.ocamsim, camera_port, io_port, log=sim_log)
        wait_for("the state 'recovered'", lambda: state() == "recovered")
        events = driver.find_element(By.ID, "events").text
        if not re.search(r"lost.*\n(.*\n)*recovered", events):
            fail("the events do not show lost then recovered: %r" % events)
        print("restart: lost, then recovered")

        # Fresh pictures after the recovery, then the screenshot.
        after = driver.execute_script(js_seq)
        wait_for("pictures after the recovery", lambda: driver.execute_script(js_seq) != after)
        time.sleep(1.0)  # a histogram and a few numbers drawn since
        driver.execute_script("window.scrollTo(0, 0);")
        driver.save_screenshot(args.screenshot)
        print("screenshot: %s (%d bytes)" % (args.screenshot, os.path.getsize(args.screenshot)))
        delays = driver.execute_script("return window.ocamView.delays;")
        if delays:
            delays = sorted(delays)
            print("delay from capture to display: median %.0f ms, max %.0f ms over %d pictures"
                  % (delays[len(delays) // 2], delays[-1], len(delays)))
        return 0
    except Exception as e:  # noqa: BLE001 - every failure is reported the same way
        print("FAILED: %s: %s" % (type(e).__name__, e))
        for name in (view_log, sim_log):
            if os.path.exists(name):
                print("--- " + name)
                print("".join(open(name).readlines()[-15:]))
        return 1
    finally:
        signal.alarm(0)
        if driver is not None:
            try:
                driver.quit()  # ends Chromium and chromedriver
            except Exception:  # noqa: BLE001
                pass
        procs.stop_all()


if __name__ == "__main__":
    sys.exit(main())
