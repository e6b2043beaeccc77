#!/usr/bin/python3
"""The intro's web page in headless Chromium with its software WebGL, against
the native build of the same run: its frames against the CPU reference of the
scene and the frame tool's pictures, its rendering of the song against
xm2wav's bytes, and the live page's start, music, status line and end.

usage: web_page_test.py SITE_DIR BUILD_DIR [unittest options]"""
import base64
import functools
import http.server
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CHROMIUM_FLAGS = ('--headless --no-sandbox --disable-gpu --use-angle=swiftshader '
                  '--enable-unsafe-swiftshader --disable-quic --no-first-run '
                  '--disable-background-networking --disable-component-update --disable-sync '
                  '--window-size=480,360').split() + ['--screen-info={0,0 480x360}']
MIX_RATE = 44100
BLOCK_FRAMES = 884


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *arguments):
        pass


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError('no %s within %g s' % (what, seconds))


class WebPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        handler = functools.partial(QuietHandler, directory=SITE)
        cls.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.page = 'http://127.0.0.1:%d/index.html' % cls.server.server_address[1]
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + os.path.join(cls.work.name, 'profile')]:
            options.add_argument(flag)
        cls.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        cls.driver.set_script_timeout(120)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        cls.server.server_close()
        cls.work.cleanup()

    def file(self, name):
        return os.path.join(self.work.name, name)

    def run_tool(self, *command):
        return subprocess.run(command, check=True, capture_output=True, text=True).stdout

    def script(self, text):
        return self.driver.execute_script(text)

    def xm2wav(self, seconds):
        """xm2wav's WAV bytes and its stamp of every block, in milliseconds."""
        wav, positions = self.file('xm2wav.wav'), self.file('positions.txt')
        self.run_tool(os.path.join(BUILD, 'tools/xm2wav'), os.path.join(ROOT, 'music/Rava64.xm'),
                      wav, '--seconds', str(seconds), '--positions', positions)
        with open(wav, 'rb') as sound, open(positions) as stamps:
            return sound.read(), [int(line.split()[3]) for line in stamps]

    def open_intro(self):
        self.driver.get(self.page)
        wait_for(lambda: self.script('return document.getElementById("title").textContent')
                 == 'Click to start', 30, '"Click to start"')

    def browser_frame(self, name, frame, elapsed, row):
        self.driver.get('%s?frame=%d&elapsed=%d&row=%d&size=933x700'
                        % (self.page, frame, elapsed, row))
        wait_for(lambda: self.script('return window.veltraneReady === true'), 30, 'frame')
        path = self.file(name + '.png')
        with open(path, 'wb') as picture:
            picture.write(base64.b64decode(self.script('return window.veltraneFramePng()')))
        return path

    def share_close(self, *arguments):
        checker = os.path.join(BUILD, 'tests/veltrane-picture-check')
        return float(self.run_tool(checker, *arguments))

    def test_frames_match_the_model_and_the_frame_tool(self):
        for frame, row in ((0, 0), (100, 7)):
            picture = self.browser_frame('scene-%d' % frame, frame, 0, row)
            share = self.share_close('model', str(frame), str(row), picture)
            print('frame %d row %d: %.4f%% of pixels within 6/255 of the model'
                  % (frame, row, 100 * share))
            self.assertGreaterEqual(share, 0.999, 'frame %d' % frame)
        for name, frame, elapsed, row in (('credits', 40, 3500, 2), ('scroller', 200, 60000, 5)):
            picture = self.browser_frame(name, frame, elapsed, row)
            native = self.file(name + '-native.png')
            self.run_tool(os.path.join(ROOT, 'scripts/with-xvfb'), '320x240',
                          os.path.join(BUILD, 'tools/veltrane-frame'), '--frame', str(frame),
                          '--elapsed', str(elapsed), '--row', str(row), '--size', '933x700', native)
            share = self.share_close('compare', picture, native)
            print('%s: %.4f%% of pixels within 6/255 of the frame tool' % (name, 100 * share))
            self.assertGreaterEqual(share, 0.995, name)

    def test_rendered_song_equals_xm2wav(self):
        expected, _ = self.xm2wav(30)
        self.open_intro()
        rendered = base64.b64decode(self.driver.execute_async_script(
            'veltraneRenderWav(30).then(arguments[0], error => arguments[0](String(error)))'))
        self.assertEqual(len(rendered), len(expected))
        differing = next((at for at in range(0, len(expected), 2)
                          if rendered[at:at + 2] != expected[at:at + 2]), None)
        self.assertIsNone(differing, 'first differing value at byte %s' % differing)

    def test_live_page_plays_follows_the_audio_clock_and_ends(self):
        _, stamps = self.xm2wav(30)
        self.open_intro()
        clicked = time.monotonic()
        ActionChains(self.driver).send_keys('s').click(self.driver.find_element(By.ID, 'message')) \
            .perform()
        samples = {}  # status line: (its seconds, xm2wav's stamp at its audio clock)

        def sample():
            state, status, seconds = self.script(
                'const line = document.getElementById("status");'
                'return [Module.audioContext && Module.audioContext.state, line.textContent,'
                ' line.dataset.audioSeconds]')
            found = re.search(r'seconds +([0-9.]+)', status)
            if found and seconds and float(seconds) > 0:
                stamp = stamps[int(float(seconds) * MIX_RATE) // BLOCK_FRAMES]
                samples[status] = (float(found.group(1)), stamp / 1000)
            return state == 'running' and len(samples) >= 2
        wait_for(sample, clicked + 5 - time.monotonic(), 'running audio and advancing frames')
        while time.monotonic() < clicked + 8:
            sample()
        print('status line against the audio clock: %s' % sorted(samples.values()))
        for status, (shown, expected) in samples.items():
            self.assertLess(abs(shown - expected), 0.1, status)
        ActionChains(self.driver).send_keys(Keys.ESCAPE).perform()
        wait_for(lambda: self.script('return document.getElementById("title").textContent')
                 == 'The intro has ended.', 5, 'end of the intro')
        self.assertEqual(self.script('return Module.audioContext.state'), 'closed')

if __name__ == '__main__':
    if len(sys.argv) < 3 or sys.argv[1] in ('-h', '--help'):
        sys.exit(__doc__)
    SITE, BUILD = (os.path.abspath(path) for path in sys.argv[1:3])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
