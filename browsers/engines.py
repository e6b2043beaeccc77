"""The three browser engines the page's tests and benchmark drive, behind one
small interface: get(url), script(body) (a function body; a promise it returns
is awaited), click() on the page's message, press(key), hide() and show() the
page, screenshot(path) as a PNG, quit(). Chromium runs headless with its software WebGL; Firefox ESR
(puppeteer-core, which scripts/run-tests installs into build-npm/ as
package-lock.json here pins it, through firefox_bridge.js) and WebKitGTK's
MiniBrowser run in windows and need an X display. Firefox plays through the
PulseAudio server that PULSE_SERVER names, if any; the others keep time
without one, and do not see it."""
import functools
import glob
import http.server
import json
import os
import subprocess
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ENGINES = ('chromium', 'firefox', 'webkit')
CHROMIUM_FLAGS = ('--headless --no-sandbox --disable-gpu --use-angle=swiftshader '
                  '--enable-unsafe-swiftshader --disable-quic --no-first-run '
                  '--disable-background-networking --disable-component-update --disable-sync '
                  '--window-size=480,360').split() + ['--screen-info={0,0 480x360}']
PULSE_SERVER = os.environ.pop('PULSE_SERVER', None)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *arguments):
        pass


def serve(site):
    """Serves the folder on a free port of 127.0.0.1; the server and the page's address."""
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0),
                                             functools.partial(QuietHandler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, 'http://127.0.0.1:%d/index.html' % server.server_address[1]


class Selenium:
    """Chromium, headless, or WebKitGTK's MiniBrowser in a window."""

    def __init__(self, engine, profile):
        self.webkit = engine == 'webkit'
        if not self.webkit:
            options = webdriver.ChromeOptions()
            options.binary_location = '/usr/bin/chromium'
            for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + profile]:
                options.add_argument(flag)
            self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'),
                                           options=options)
        else:
            options = webdriver.WebKitGTKOptions()
            options.binary_location = glob.glob('/usr/lib/*/webkit2gtk-4.1/MiniBrowser')[0]
            options.add_argument('--automation')
            self.driver = webdriver.WebKitGTK(executable_path='/usr/bin/WebKitWebDriver',
                                              options=options)
            self.driver.set_window_size(480, 360)
        self.driver.set_script_timeout(600)
        self.get, self.script, self.quit, self.screenshot = (
            self.driver.get, self.driver.execute_script, self.driver.quit,
            self.driver.save_screenshot)

    def click(self):
        ActionChains(self.driver).click(self.driver.find_element(By.ID, 'message')).perform()

    def press(self, key):
        key = {'Escape': Keys.ESCAPE, 'Enter': Keys.ENTER}.get(key, key)
        ActionChains(self.driver).send_keys(key).perform()

    def hide(self):
        """Chromium hides a page behind a second tab; WebKitGTK hides no page
        behind another window here, but hides a minimised one."""
        if self.webkit:
            return self.driver.minimize_window()
        self.shown = self.driver.current_window_handle
        self.driver.switch_to.new_window('tab')

    def show(self):
        if self.webkit:
            self.driver.maximize_window()
            return self.driver.set_window_size(480, 360)
        self.driver.close()
        self.driver.switch_to.window(self.shown)


class Puppeteer:
    """Firefox ESR through the bridge: every call is a command to it."""

    def __init__(self, engine, profile):
        environment = dict(os.environ, NODE_PATH=os.path.join(ROOT, 'build-npm/node_modules'),
                           **({'PULSE_SERVER': PULSE_SERVER} if PULSE_SERVER else {}))
        self.bridge = subprocess.Popen(['node', os.path.join(ROOT, 'browsers/firefox_bridge.js')],
                                       stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                       env=environment)

    def __getattr__(self, command):
        def send(argument=None):
            self.bridge.stdin.write(json.dumps({'command': command, 'argument': argument}) + '\n')
            self.bridge.stdin.flush()
            answer = json.loads(self.bridge.stdout.readline() or '{"error": "it has ended"}')
            if 'error' in answer:
                raise AssertionError('Firefox: ' + answer['error'])
            return answer.get('value')
        return send

    def quit(self):
        self.bridge.stdin.close()
        self.bridge.wait(60)


def open_browser(engine, profile):
    """The engine's browser, with a profile folder of its own where it takes one."""
    return (Puppeteer if engine == 'firefox' else Selenium)(engine, profile)
