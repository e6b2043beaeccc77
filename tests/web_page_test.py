#!/usr/bin/python3
"""The intro's web page in three browser engines, against the native build of
the same run: its frames against the CPU reference of the scene and the frame
tool's pictures, at a device pixel ratio of 2 and in portrait too; its
rendering of the song against xm2wav's bytes; the live page from the keyboard
(focus, pointer, status line, mute, end); its music through stalls of the main
thread; its timeline at 144 and 20 frames a second, with a quiet console; a
hidden page; each failure's message; the hooks' errors; and a visitor's own
song: the busy 8-channel song of the render benchmark, which the XM builder
writes through BUILD_DIR/bench/veltrane-bench-songs.

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
SOUNDTRACK = os.path.join(ROOT, 'music/Rava64.xm')
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
# Keeps every line written to the browser's console from the page's start.
RECORD_CONSOLE = '''<script>window.consoleLines = [];
for (const name of ['log', 'info', 'warn', 'error', 'debug']) {
  const write = console[name];
  console[name] = (...parts) => {
    consoleLines.push(parts.join(' '));
    write.apply(console, parts);
  };
}</script>'''
READING = 'return [performance.now() / 1000, veltraneAudioSeconds(), veltraneIntroSeconds()]'
CENTRE = ('const under = document.elementFromPoint(innerWidth / 2, innerHeight / 2);'
          'return [under.id, getComputedStyle(under).cursor]')
MESSAGE = 'return ["title", "hint"].map(id => document.getElementById(id).textContent).join(" ")'
# How the page fails (what the server serves, a script first in the page, or
# a script on the ready page), and words its message must hold.
FAILURES = (('served', {'/veltrane.wasm': None}, ('not be fetched', '/veltrane.wasm', 'reload')),
            ('served', {'/veltrane.wasm': b'\0asm\1\0\0\0 none'}, ('could not run', 'reload')),
            ('served', {'/veltrane.js': None}, ('not be fetched', '/veltrane.js', 'reload')),
            ('served', {'/Rava64.xm': None}, ('not be fetched', '/Rava64.xm', 'reload', 'choose')),
            ('served', {'/Rava64.xm': b'no song'}, ('not an XM song', 'reload', 'choose')),
            ('first', '<script>HTMLCanvasElement.prototype.getContext = () => null;</script>',
             ('WebGL', 'acceleration', 'reload')),
            ('ready', "Module.ctx.getExtension('WEBGL_lose_context').loseContext()",
             ('reset', 'reload')))
# Still pages with values the frame tool refuses, and the names the error holds.
BAD_STILLS = (('frame=abc&size=wide', ('frame', 'size')), ('frame=1&elapsed=-5', ('elapsed',)),
              ('frame=1&row=1.5', ('row',)), ('frame=&size=0x10', ('frame', 'size')),
              ('frame=1&size=70000x9', ('size',)))


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
def xm2wav(seconds, song=SOUNDTRACK):
    """xm2wav's 16-bit values and its stamp of every block, in milliseconds."""
    wav, positions = work_file('xm2wav.wav'), work_file('positions.txt')
    run_tool(os.path.join(BUILD, 'tools/xm2wav'), song, wav, '--seconds', str(seconds),
             '--positions', positions)
    with open(wav, 'rb') as sound, open(positions) as stamps:
        return sound.read(), [int(line.split()[3]) for line in stamps]


@functools.lru_cache(None)
def test_song(name):
    run_tool(os.path.join(BUILD, 'bench/veltrane-bench-songs'), WORK.name, '--variants', '0')
    return work_file(name)


@functools.lru_cache(None)
def frame_tool(frame, elapsed, row, size):
    picture = work_file('native-%d-%d-%d-%s.png' % (frame, elapsed, row, size))
    run_tool(os.path.join(ROOT, 'scripts/with-xvfb'), '320x240',
             os.path.join(BUILD, 'tools/veltrane-frame'), '--frame', str(frame),
             '--elapsed', str(elapsed), '--row', str(row), '--size', size, picture)
    return picture


def share_close(*arguments):
    return float(run_tool(os.path.join(BUILD, 'tests/veltrane-picture-check'), *arguments))


def page_with(script):
    """The site's page with the script first in its head."""
    with open(os.path.join(SITE, 'index.html'), 'rb') as page:
        return {'/index.html': page.read().replace(b'<head>', b'<head>' + script.encode(), 1)}


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

    def setUp(self):
        self.server.overrides, self.server.missing = {}, []

    def report(self, text):
        print('%s: %s' % (self.engine, text))

    def state(self):
        return self.browser.script('return document.body.dataset.state')

    def open_page(self, query='', states=('ready',)):
        self.browser.get(self.page + query)
        wait_for(lambda: self.state() in states, 30, ' or '.join(states))

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

    def start_intro(self, query='', before='', key=None, opened=False):
        """Opens the page (unless it is open), runs the script before, starts
        the intro by Start or a key and waits for the music's clock to run."""
        if not opened:
            self.open_page(query)
        self.browser.script(before + 'return null')
        if self.state() != 'playing':  # a song given may start it at once
            self.browser.press(key) if key else self.browser.click('#start')
        self.browser.press('s')
        wait_for(lambda: self.browser.script(READING)[1] > 0.5, 10, 'running music')

    def end_intro(self, by_the_control=False):
        if by_the_control:  # as on a phone: a tap shows the controls
            self.browser.click('#canvas')
            self.browser.click('#end')
        else:
            self.browser.press('Escape')
        wait_for(lambda: self.state() == 'ended', 5, 'end of the intro')
        wait_for(lambda: self.browser.script('return Module.audioContext.state') == 'closed', 5,
                 'closed audio')

    def wait_for_message(self, words, or_playing=False):
        """Waits for the ready page to say the words, or, after a song is
        given where the browser lets it start at once, for the intro to play."""
        wait_for(lambda: or_playing and self.state() == 'playing' or self.state() == 'ready' and
                 words in self.browser.script(MESSAGE), 30, words)

    def check_render(self, seconds, song=SOUNDTRACK):
        expected, _ = xm2wav(seconds, song)
        rendered = base64.b64decode(self.browser.script('return veltraneRenderWav(%d)' % seconds))
        self.assertEqual(len(rendered), len(expected))
        differing = next((at for at in range(0, len(expected), 2)
                          if rendered[at:at + 2] != expected[at:at + 2]), None)
        self.assertIsNone(differing, 'first differing value at byte %s' % differing)

    def rejection(self, call):
        return self.browser.script('return %s.then(() => "", String)' % call)

    def check_status_follows_the_music(self, seconds, song=SOUNDTRACK):
        """For this long, the status line is the status line alone, with
        xm2wav's stamp at the audio clock it was written at, and the intro's
        clock keeps with the music."""
        _, stamps = xm2wav(60, song)
        lines = set()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            status, audio, intro, heard = self.browser.script(
                'const line = document.getElementById("status");'
                'return [line.textContent, line.dataset.audioSeconds, veltraneIntroSeconds(),'
                ' veltraneAudioSeconds()]')
            shown = re.fullmatch(r'ord +\d+ row +\d+ seconds +(\d+\.\d\d)( TICK)?', status)
            self.assertTrue(shown or not status, status)
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
        self.assertIn('still page', self.rejection('veltraneRenderWav(1)'))

    def test_device_pixels_and_portrait(self):
        """At a device pixel ratio of 2 the page draws twice the pixels each
        way; in portrait, a band of the intro's 933:700 shape across the
        window: either way the model's picture. (WebKitGTK's full screen
        takes the screen's landscape shape.)"""
        try:
            for width, height in ((480, 360), (300, 600)):
                self.browser.view(width, height, 2)
                self.start_intro('?clock=manual')
                tick = self.browser.script(
                    'const tick = [0, 500].map(t => veltraneTick(t, t > 0))[1];'
                    'tick.page = [innerWidth, innerHeight, devicePixelRatio];'
                    'return tick')
                width, height, ratio = tick['page']
                band = min(height, round(width * 700 / 933))
                self.assertEqual([tick['width'], tick['height'], ratio], [2 * width, 2 * band, 2])
                row = re.search(r'row +(\d+)', tick['statusLine']).group(1)
                picture = self.save_png('%dx%d' % (width, height), tick['png'])
                share = share_close('model', str(tick['frame']), row, picture)
                self.report('%dx%d at a ratio of 2: %.4f%% of pixels within 6/255 of the model'
                            % (width, height, 100 * share))
                self.assertGreaterEqual(share, 0.999)
                self.end_intro()
        finally:
            self.browser.view(480, 360, 1)

    def test_rendered_song_equals_xm2wav(self):
        self.open_page()
        self.check_render(30)
        self.assertIn('seconds', self.rejection('veltraneRenderWav(-1)'))

    def test_hooks_answer_clearly(self):
        for query, names in BAD_STILLS:
            self.browser.get('%s?%s' % (self.page, query))
            error = wait_for(lambda: self.browser.script('return window.veltraneError'), 30, query)
            self.assertTrue(all(name in error for name in names), error)
            self.assertIsNone(self.browser.script('return window.veltraneReady'), query)

    def test_live_page_from_the_keyboard(self):
        """Start has the focus, with a ring, and Enter starts the intro: the
        pointer hides; the status line follows the music, muted (M) too, whose
        clock runs on; Esc ends it: the pointer and the focus come back and the
        status line hides; Space starts it again and the End control ends it.
        Nothing the page asks for is missing, its icon neither. (Firefox's and
        WebKitGTK's windows have no focus without a window manager, so no
        ring shows there.)"""
        self.open_page()
        self.assertEqual(self.browser.script(
            'const focused = document.activeElement;'
            'return [focused.id,'
            ' !document.hasFocus() || getComputedStyle(focused).outlineStyle !== "none"]'),
            ['start', True])
        self.start_intro(key='Enter', opened=True)
        self.assertEqual(self.browser.script(CENTRE), ['canvas', 'none'])
        first = self.browser.script(READING)
        for gain in (0, 1):
            self.check_status_follows_the_music(4)
            self.browser.press('m')
            self.assertEqual(self.browser.script('return Module.audioGain.gain.value'), gain)
        self.check_status_follows_the_music(2)
        last = self.browser.script(READING)
        rate = (last[1] - first[1]) / (last[0] - first[0])
        self.report('audio clock against the page clock over %.1f s: %.4f'
                    % (last[0] - first[0], rate))
        self.assertLess(abs(rate - 1), 0.02)
        self.end_intro()
        self.assertNotEqual(self.browser.script(CENTRE)[1], 'none')
        self.assertEqual(self.browser.script(
            'return [document.activeElement.id,'
            ' getComputedStyle(document.getElementById("status")).display]'), ['start', 'none'])
        self.start_intro(key=' ', opened=True)
        self.end_intro(by_the_control=True)
        self.assertEqual(self.server.missing, [])

    def test_music_survives_stalls(self):
        """A stall shorter than the queued music leaves no gap; after a longer
        one the music goes on within 0.1 s, at its pace, the status line and
        the picture with it, and every frame of the song is heard once."""
        self.start_intro(before=RECORD_SOUND)
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
        """... and 60 frames of the credits write nothing to the console."""
        self.server.overrides = page_with(RECORD_CONSOLE)
        self.start_intro('?clock=manual')
        self.report('console lines at start-up: %s' % self.browser.script(
            'return consoleLines.splice(0)'))
        times = ([k * 1000 / 144 for k in range(145)] + [1000 + k * 50 for k in range(1, 21)] +
                 [2000 + k * 1000 / 60 for k in range(1, 61)])
        ticks = self.browser.script('return %s.map(t => veltraneTick(t, t === %r))'
                                    % (json.dumps(times), times[100]))
        self.assertEqual([tick['frame'] for tick in ticks],
                         [math.floor(t * 60 / 1000) for t in times])
        self.assertEqual(self.browser.script('return consoleLines'), [])
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
        full screen, it says so, without the status line, and goes on after
        a click."""
        self.start_intro()
        full_screen = self.browser.script('return Boolean(document.fullscreenElement)')
        self.report('full screen: %s' % full_screen)
        before = self.browser.script(READING)
        self.browser.hide()
        time.sleep(1.5)
        self.browser.show()
        if full_screen:
            wait_for(lambda: 'paused' in self.browser.script(MESSAGE), 5, '"paused"')
            paused = self.browser.script(READING)
            time.sleep(0.5)
            self.assertEqual(self.browser.script(READING)[1:], paused[1:], 'paused clocks')
            self.assertEqual(self.browser.script(
                'return getComputedStyle(document.getElementById("status")).display'), 'none')
            self.browser.script('document.addEventListener("click", () => {'
                                ' window.clickedAt = performance.now() / 1000; }, true)')
            self.browser.click('#start')
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

    def test_failures_say_what_happened_and_what_to_do(self):
        for way, failure, words in FAILURES:
            self.server.overrides = (failure if way == 'served' else
                                     page_with(failure) if way == 'first' else {})
            self.open_page(states=('ready',) if way == 'ready' else ('failed', 'songless'))
            if way == 'ready':
                self.browser.script(failure + '; return null')
                wait_for(lambda: self.state() == 'failed', 5, 'failure')
            text = self.browser.script(MESSAGE)
            self.assertTrue(all(word.lower() in text.lower() for word in words), text)
            self.assertIsNone(re.search(r'Abort|RuntimeError|ASSERTIONS|undefined|Error', text))

    def test_a_song_the_visitor_gives(self):
        """The busy song chosen with the file control plays in place of the
        intro's: the page renders it as xm2wav does, and the status line
        follows it. A dropped file that is no song gets a message and the song
        before stays; so does an address on another site. An address on the
        page's own site gives the song too."""
        song = test_song('busy-8.xm')
        with open(song, 'rb') as data:
            self.server.overrides = {'/songs/busy-8.xm': data.read()}
        self.open_page()
        self.browser.upload('#song-file', song)
        self.wait_for_message('busy-8.xm', or_playing=True)
        self.start_intro(opened=True)
        self.check_status_follows_the_music(2, song)
        self.end_intro()
        self.check_render(8, song)
        self.browser.script('const data = new DataTransfer();'
                            'data.items.add(new File(["no song"], "no-song.xm"));'
                            'document.dispatchEvent(new DragEvent("drop", {dataTransfer: data}));'
                            'return null')
        self.wait_for_message('no-song.xm” is not an XM')
        self.check_render(8, song)
        other_site = self.page.replace('127.0.0.1', 'localhost').replace('index.html', 'songs/')
        for query, words, played in (('songs/busy-8.xm', 'busy-8.xm', song),
                                     (other_site + 'busy-8.xm', 'own site', SOUNDTRACK)):
            self.browser.get(self.page + '?song=' + query)
            self.wait_for_message(words, or_playing=played == song)
            self.check_render(8, played)


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
