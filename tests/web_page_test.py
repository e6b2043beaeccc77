#!/usr/bin/python3
"""The intro's web page in three browser engines, against the native build of
the same run: its frames against the CPU reference of the scene and the frame
tool's pictures, its rendering of the song against xm2wav's bytes, the live
page's music, clock, status line and end, its music through stalls of the
main thread, its timeline at 144 and 20 frames a second, and a hidden page.

Firefox and WebKitGTK draw in windows on an X display, and Firefox plays
through PulseAudio (browsers/engines.py), hence the two wrappers:

usage: scripts/with-xvfb 1024x768 scripts/with-null-audio tests/web_page_test.py
           SITE_DIR BUILD_DIR [--engines chromium,firefox,webkit] [unittest options]"""
import array
import base64
import functools
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'browsers'))
from engines import ENGINES, open_browser, serve  # noqa: E402
MIX_RATE = 44100
BLOCK_FRAMES = 884
# Records every run of sound the page hands to Web Audio: when it plays, its
# length and the sum of its left channel's 16-bit values.
RECORD_SOUND = '''window.soundRuns = [];
const start = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function(when) {
  const left = this.buffer.getChannelData(0);
  let sum = 0;
  for (const value of left) sum += Math.round(value * 32768);
  soundRuns.push([when, left.length, sum]);
  return start.apply(this, arguments);
};'''
READING = 'return [performance.now() / 1000, veltraneAudioSeconds(), veltraneIntroSeconds()]'


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError('no %s within %g s' % (what, seconds))


def run_tool(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def work_file(name):
    return os.path.join(WORK.name, name)


@functools.lru_cache(None)
def xm2wav(seconds):
    """xm2wav's 16-bit values and its stamp of every block, in milliseconds."""
    wav, positions = work_file('xm2wav.wav'), work_file('positions.txt')
    run_tool(os.path.join(BUILD, 'tools/xm2wav'), os.path.join(ROOT, 'music/Rava64.xm'),
             wav, '--seconds', str(seconds), '--positions', positions)
    with open(wav, 'rb') as sound, open(positions) as stamps:
        return sound.read(), [int(line.split()[3]) for line in stamps]


@functools.lru_cache(None)
def frame_tool(frame, elapsed, row, size):
    picture = work_file('native-%d-%d-%d-%s.png' % (frame, elapsed, row, size))
    run_tool(os.path.join(ROOT, 'scripts/with-xvfb'), '320x240',
             os.path.join(BUILD, 'tools/veltrane-frame'), '--frame', str(frame),
             '--elapsed', str(elapsed), '--row', str(row), '--size', size, picture)
    return picture


def share_close(*arguments):
    return float(run_tool(os.path.join(BUILD, 'tests/veltrane-picture-check'), *arguments))


class PageTests:
    engine = None

    @classmethod
    def setUpClass(cls):
        cls.profile = tempfile.TemporaryDirectory()
        cls.server, cls.page = serve(SITE)
        cls.browser = open_browser(cls.engine, cls.profile.name)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.shutdown()
        cls.server.server_close()
        cls.profile.cleanup()

    def report(self, text):
        print('%s: %s' % (self.engine, text))

    def title(self):
        return self.browser.script('return document.getElementById("title").textContent')

    def save_png(self, name, data):
        path = work_file('%s-%s.png' % (self.engine, name))
        with open(path, 'wb') as picture:
            picture.write(base64.b64decode(data))
        return path

    def browser_frame(self, name, frame, elapsed, row):
        self.browser.get('%s?frame=%d&elapsed=%d&row=%d&size=933x700'
                         % (self.page, frame, elapsed, row))
        wait_for(lambda: self.browser.script('return window.veltraneReady === true'), 30, 'frame')
        return self.save_png(name, self.browser.script('return window.veltraneFramePng()'))

    def start_intro(self, query='', before_the_click=''):
        """Opens the page, clicks it and waits for the music's clock to run."""
        self.browser.get(self.page + query)
        wait_for(lambda: self.title() == 'Click to start', 30, '"Click to start"')
        self.browser.script(before_the_click + 'return null')
        self.browser.click()
        self.browser.press('s')
        wait_for(lambda: self.browser.script(READING)[1] > 0.5, 10, 'running music')

    def end_intro(self):
        self.browser.press('Escape')
        wait_for(lambda: self.title() == 'The intro has ended.', 5, 'end of the intro')
        wait_for(lambda: self.browser.script('return Module.audioContext.state') == 'closed', 5,
                 'closed audio')

    def check_status_follows_the_music(self, seconds):
        """For this long, the status line shows xm2wav's stamp at the audio
        clock it was written at, and the intro's clock keeps with the music."""
        _, stamps = xm2wav(60)
        lines = set()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            status, audio, intro, heard = self.browser.script(
                'const line = document.getElementById("status");'
                'return [line.textContent, line.dataset.audioSeconds, veltraneIntroSeconds(),'
                ' veltraneAudioSeconds()]')
            shown = re.search(r'seconds +([0-9.]+)', status)
            if shown and audio and float(audio) > 0 and status not in lines:
                lines.add(status)
                expected = stamps[int(float(audio) * MIX_RATE) // BLOCK_FRAMES] / 1000
                self.assertLess(abs(float(shown.group(1)) - expected), 0.1, status)
            self.assertLess(abs(intro - heard), 0.1, 'the intro clock against the music')
        self.assertGreaterEqual(len(lines), 2, 'status lines written')

    def test_frames_match_the_model_and_the_frame_tool(self):
        for frame, row in ((0, 0), (100, 7)):
            picture = self.browser_frame('scene-%d' % frame, frame, 0, row)
            share = share_close('model', str(frame), str(row), picture)
            self.report('frame %d row %d: %.4f%% of pixels within 6/255 of the model'
                        % (frame, row, 100 * share))
            self.assertGreaterEqual(share, 0.999, 'frame %d' % frame)
        for name, frame, elapsed, row in (('credits', 40, 3500, 2), ('scroller', 200, 60000, 5)):
            picture = self.browser_frame(name, frame, elapsed, row)
            share = share_close('compare', picture, frame_tool(frame, elapsed, row, '933x700'))
            self.report('%s: %.4f%% of pixels within 6/255 of the frame tool' % (name, 100 * share))
            self.assertGreaterEqual(share, 0.995, name)

    def test_rendered_song_equals_xm2wav(self):
        expected, _ = xm2wav(30)
        self.browser.get(self.page)
        wait_for(lambda: self.title() == 'Click to start', 30, '"Click to start"')
        rendered = base64.b64decode(self.browser.script('return veltraneRenderWav(30)'))
        self.assertEqual(len(rendered), len(expected))
        differing = next((at for at in range(0, len(expected), 2)
                          if rendered[at:at + 2] != expected[at:at + 2]), None)
        self.assertIsNone(differing, 'first differing value at byte %s' % differing)

    def test_live_page_plays_in_time_and_ends(self):
        self.start_intro()
        first = self.browser.script(READING)
        self.check_status_follows_the_music(10)
        last = self.browser.script(READING)
        rate = (last[1] - first[1]) / (last[0] - first[0])
        self.report('audio clock against the page clock over %.1f s: %.4f'
                    % (last[0] - first[0], rate))
        self.assertLess(abs(rate - 1), 0.02)
        self.end_intro()

    def test_music_survives_stalls(self):
        """A stall shorter than the queued music leaves no gap; after a longer
        one the music goes on within 0.1 s, at its pace, the status line and
        the picture with it, and every frame of the song is heard once."""
        self.start_intro(before_the_click=RECORD_SOUND)
        stall_ends = []
        for seconds in (1, 3, 8):
            stall_ends.append(self.browser.script(  # by the audio clock
                'const lead = Module.audioContext.currentTime - performance.now() / 1000;'
                'const end = performance.now() + %d;'
                'while (performance.now() < end) {}'
                'return end / 1000 + lead' % (seconds * 1000)))
            time.sleep(0.5)
            before = self.browser.script(READING)
            time.sleep(2)
            after = self.browser.script(READING)
            rate = (after[1] - before[1]) / (after[0] - before[0])
            self.report('after a %d s stall the audio clock runs at %.3f' % (seconds, rate))
            self.assertLess(abs(rate - 1), 0.05)
            self.check_status_follows_the_music(1)
        runs = self.browser.script('return soundRuns')
        self.end_intro()
        pcm, _ = xm2wav(60)
        left, at = array.array('h', pcm[44:])[0::2], 0
        for when, length, total in runs:
            self.assertEqual(total, sum(left[at:at + length]), 'the music at frame %d' % at)
            at += length
        pauses = [(b[0] - a[0] - a[1] / MIX_RATE, b) for a, b in zip(runs, runs[1:])]
        self.assertGreater(min(pause for pause, _ in pauses), -0.5 / MIX_RATE, 'overlap')
        resumed = [run[0] for pause, run in pauses if pause > 0.5 / MIX_RATE]
        self.assertEqual(len(resumed), 2, 'a gap after each stall longer than the queue')
        for stall_end, when in zip(stall_ends[1:], resumed):
            self.report('music again %.3f s after the stall' % (when - stall_end))
            self.assertLess(when - stall_end, 0.1)

    def test_timeline_keeps_60_frames_a_second_at_144_and_20_hz(self):
        self.start_intro('?clock=manual')
        times = [k * 1000 / 144 for k in range(145)] + [1000 + k * 50 for k in range(1, 21)]
        ticks = self.browser.script('return %s.map(t => veltraneTick(t, t === %r))'
                                    % (json.dumps(times), times[100]))
        self.assertEqual([tick['frame'] for tick in ticks],
                         [math.floor(t * 60 / 1000) for t in times])
        tick = ticks[100]
        row = int(re.search(r'row +(\d+)', tick['statusLine']).group(1))
        native = frame_tool(tick['frame'], int(times[100]), row,
                            '%dx%d' % (tick['width'], tick['height']))
        share = share_close('compare', self.save_png('timeline', tick['png']), native)
        self.report('frame %d at %.1f ms: %.4f%% of pixels within 6/255 of the frame tool'
                    % (tick['frame'], times[100], 100 * share))
        self.assertGreaterEqual(share, 0.999)
        self.end_intro()

    def test_hidden_page_pauses_and_goes_on_from_where_it_was(self):
        """Outside full screen the page goes on when it shows again; hidden in
        full screen, it goes on after a click."""
        self.start_intro()
        full_screen = self.browser.script('return Boolean(document.fullscreenElement)')
        self.report('full screen: %s' % full_screen)
        before = self.browser.script(READING)
        self.browser.hide()
        time.sleep(1.5)
        self.browser.show()
        if full_screen:
            wait_for(lambda: self.title() == 'Click to continue', 5, '"Click to continue"')
            paused = self.browser.script(READING)
            time.sleep(0.5)
            self.assertEqual(self.browser.script(READING)[1:], paused[1:], 'paused clocks')
            self.browser.script('document.addEventListener("click", () => {'
                                ' window.clickedAt = performance.now() / 1000; }, true)')
            self.browser.click()
            wait_for(lambda: self.browser.script('return Boolean(document.fullscreenElement)'),
                     5, 'full screen again')
            before = [self.browser.script('return clickedAt')] + paused[1:]
        time.sleep(0.5)
        now = self.browser.script(READING)
        played, waited = now[1] - before[1], now[0] - before[0]
        if full_screen:
            self.assertLess(abs(played - waited), 0.1, 'music from where it paused')
        else:
            self.assertTrue(0.2 < played < waited - 1.4, 'music paused while hidden')
        self.check_status_follows_the_music(2)
        self.end_intro()


if __name__ == '__main__':
    if len(sys.argv) < 3 or sys.argv[1] in ('-h', '--help'):
        sys.exit(__doc__)
    SITE, BUILD = (os.path.abspath(path) for path in sys.argv[1:3])
    engines, arguments = ENGINES, sys.argv[3:]
    if arguments[:1] == ['--engines']:
        engines, arguments = arguments[1].split(','), arguments[2:]
    for name in engines:
        globals()[name.capitalize() + 'Test'] = type(name.capitalize() + 'Test',
                                                      (PageTests, unittest.TestCase),
                                                      {'engine': name})
    WORK = tempfile.TemporaryDirectory()
    outcome = unittest.main(argv=sys.argv[:1] + arguments, verbosity=2, exit=False).result
    WORK.cleanup()
    sys.exit(not outcome.wasSuccessful())
