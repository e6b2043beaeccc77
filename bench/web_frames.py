#!/usr/bin/python3
"""Milliseconds per frame of the web page's intro in a browser engine, each
frame finished before the next starts, at 933x700 and 1920x1080: the page's
counterpart of bench/frames. Chromium draws headless through its software
WebGL (SwiftShader); Firefox ESR and WebKitGTK draw in windows through Mesa's
llvmpipe, so they need an X display, and Firefox needs puppeteer-core in
build-npm/ (scripts/run-tests installs it).

usage: [scripts/with-xvfb 1024x768] bench/web_frames.py [--engine chromium|firefox|webkit]
                                                         [SITE_DIR]   (default: build-web/site)"""
import os
import statistics
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'browsers'))
from engines import ENGINES, open_browser, serve  # noqa: E402

SIZES = ((933, 700, 15), (1920, 1080, 5))  # width, height, frames per repeat
REPEATS = 5


def main():
    arguments = sys.argv[1:]
    engine = 'chromium'
    if arguments[:1] == ['--engine'] and len(arguments) > 1:
        engine, arguments = arguments[1], arguments[2:]
    if len(arguments) > 1 or arguments[:1] in (['-h'], ['--help']) or engine not in ENGINES:
        sys.exit(__doc__)
    site = arguments[0] if arguments else os.path.join(ROOT, 'build-web/site')
    if not os.path.exists(os.path.join(site, 'index.html')):
        sys.exit('web_frames: %s holds no page: run scripts/build-web first' % site)
    server, page = serve(site)
    profile = tempfile.TemporaryDirectory()
    browser = open_browser(engine, profile.name)
    try:
        browser.get(page + '?frame=0&size=64x64')
        while not browser.script('return window.veltraneReady === true'):
            time.sleep(0.1)
        for width, height, frames in SIZES:
            def bench(count):
                return browser.script('return Module._veltraneBenchFrames(%d, %d, %d)'
                                      % (count, width, height))
            bench(2)  # the first frames at a size set the drawing buffer up
            times = []
            for _ in range(REPEATS):
                times.append(bench(frames))
                print('\r%dx%d: %d of %d repeats' % (width, height, len(times), REPEATS),
                      end='', file=sys.stderr, flush=True)
            print('\r\033[K', end='', file=sys.stderr)
            print('%s %dx%d: %.1f ms per frame (median of %d repeats of %d frames, stddev %.1f ms)'
                  % (engine, width, height, statistics.median(times), REPEATS, frames,
                     statistics.stdev(times)))
    finally:
        browser.quit()
        server.shutdown()
        profile.cleanup()


if __name__ == '__main__':
    main()
