#!/usr/bin/python3
"""Milliseconds per frame of the web page's intro in headless Chromium with
its software WebGL (SwiftShader), each frame finished before the next starts,
at 933x700 and 1920x1080: the page's counterpart of bench/frames.

usage: bench/web_frames.py [SITE_DIR]   (default: build-web/site)"""
import functools
import http.server
import os
import statistics
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FLAGS = ('--headless --no-sandbox --disable-gpu --use-angle=swiftshader '
         '--enable-unsafe-swiftshader --disable-quic --no-first-run '
         '--disable-background-networking --disable-component-update --disable-sync').split()
SIZES = ((933, 700, 15), (1920, 1080, 5))  # width, height, frames per repeat
REPEATS = 5


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *arguments):
        pass


def main():
    if len(sys.argv) > 2 or sys.argv[1:] in (['-h'], ['--help']):
        sys.exit(__doc__)
    site = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'build-web/site')
    if not os.path.exists(os.path.join(site, 'index.html')):
        sys.exit('web_frames: %s holds no page: run scripts/build-web first' % site)
    server = http.server.ThreadingHTTPServer(
        ('127.0.0.1', 0), functools.partial(QuietHandler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    profile = tempfile.TemporaryDirectory()
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in FLAGS + ['--user-data-dir=' + profile.name]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    try:
        driver.set_script_timeout(600)
        driver.get('http://127.0.0.1:%d/index.html?frame=0&size=64x64' % server.server_address[1])
        while not driver.execute_script('return window.veltraneReady === true'):
            time.sleep(0.1)
        for width, height, frames in SIZES:
            def bench(count):
                return driver.execute_script('return Module._veltraneBenchFrames(%d, %d, %d)'
                                             % (count, width, height))
            bench(2)  # the first frames at a size set the drawing buffer up
            times = []
            for _ in range(REPEATS):
                times.append(bench(frames))
                print('\r%dx%d: %d of %d repeats' % (width, height, len(times), REPEATS),
                      end='', file=sys.stderr, flush=True)
            print('\r\033[K', end='', file=sys.stderr)
            print('%dx%d: %.1f ms per frame (median of %d repeats of %d frames, stddev %.1f ms)'
                  % (width, height, statistics.median(times), REPEATS, frames,
                     statistics.stdev(times)))
    finally:
        driver.quit()
        server.shutdown()
        profile.cleanup()


if __name__ == '__main__':
    main()
