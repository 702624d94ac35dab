#!/usr/bin/python3
"""Debian's Chromium, headless, driven through Selenium for the web page's
tests and bench. Reads one JSON request a line on stdin and answers each with
one JSON line on stdout: {"ok": true, "value": ...} or {"ok": false,
"error": "..."}. The browser starts with a fresh profile and only the flags
that keep it quiet on a closed network; it ends when stdin closes. With
--ca FILE it trusts the certificate authority in FILE for HTTPS, as a
browser with that CA installed does (it checks certificates as always).

Requests ("op" and its fields):
  open url               load a page
  size width height      the window's size in CSS pixels
  js script [args]       run a script in the page, its return value back
  frame_js script        the same in the page's first frame
  async script [args] [timeout]
                         run a script that calls its last argument when done
  click css              click the first element matching css; the value
                         holds the monotonic time (ns) just before and after
  type css text          type into an element, after clearing it
  keys text              type at whatever has the focus
  screenshot path        a PNG of the window
  cdp cmd [params]       a DevTools command (page lifecycle, say)
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'


def trusting_home(home, ca_file):
    """A home folder whose NSS database (where Chromium looks on Linux)
    trusts the CA for web sites."""
    database = 'sql:' + os.path.join(home, '.pki', 'nssdb')
    os.makedirs(os.path.join(home, '.pki', 'nssdb'))
    subprocess.run(['certutil', '-d', database, '-N', '--empty-password'], check=True, capture_output=True)
    subprocess.run(['certutil', '-d', database, '-A', '-t', 'C,,', '-n', 'TQX-5R test CA', '-i', ca_file],
                   check=True, capture_output=True)


def start_browser(profile, home=None):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--disable-extensions', '--disable-default-apps', '--hide-scrollbars',
                 '--user-data-dir=' + profile):
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    environment = dict(os.environ, HOME=home) if home else None
    return webdriver.Chrome(service=Service(CHROMEDRIVER, env=environment), options=options)


def size(driver, width, height):
    # The window's outer size differs from the page's; set it so the page
    # gets exactly the size asked for.
    driver.set_window_size(width, height)
    inner = driver.execute_script('return [window.innerWidth, window.innerHeight]')
    driver.set_window_size(2 * width - inner[0], 2 * height - inner[1])


def handle(driver, request):
    op = request['op']
    if op == 'open':
        driver.get(request['url'])
    elif op == 'size':
        size(driver, request['width'], request['height'])
    elif op == 'js':
        return driver.execute_script(request['script'], *request.get('args', []))
    elif op == 'frame_js':
        driver.switch_to.frame(0)
        try:
            return driver.execute_script(request['script'], *request.get('args', []))
        finally:
            driver.switch_to.default_content()
    elif op == 'async':
        driver.set_script_timeout(request.get('timeout', 10))
        return driver.execute_async_script(request['script'], *request.get('args', []))
    elif op == 'click':
        element = driver.find_element(By.CSS_SELECTOR, request['css'])
        before = time.monotonic_ns()
        element.click()
        return {'before': before, 'after': time.monotonic_ns()}
    elif op == 'type':
        element = driver.find_element(By.CSS_SELECTOR, request['css'])
        element.clear()
        element.send_keys(request['text'])
    elif op == 'keys':
        ActionChains(driver).send_keys(request['text']).perform()
    elif op == 'screenshot':
        driver.save_screenshot(request['path'])
    elif op == 'cdp':
        return driver.execute_cdp_cmd(request['cmd'], request.get('params', {}))
    elif op == 'log':
        return [entry['message'] for entry in driver.get_log('browser')]
    else:
        raise ValueError('unknown op ' + op)
    return None


def main():
    profile = tempfile.mkdtemp(prefix='tqx5r-chromium-')
    driver = None
    try:
        home = None
        if len(sys.argv) == 3 and sys.argv[1] == '--ca':
            home = os.path.join(profile, 'home')
            trusting_home(home, sys.argv[2])
        driver = start_browser(os.path.join(profile, 'profile'), home)
        print(json.dumps({'ok': True, 'value': 'ready'}), flush=True)
        for line in sys.stdin:
            if not line.strip():
                continue
            try:
                answer = {'ok': True, 'value': handle(driver, json.loads(line))}
            except Exception as error:  # reported to the caller, who decides
                answer = {'ok': False, 'error': f'{type(error).__name__}: {error}'.splitlines()[0]}
            print(json.dumps(answer), flush=True)
    except Exception as error:
        print(json.dumps({'ok': False, 'error': f'cannot start Chromium: {error}'.splitlines()[0]}), flush=True)
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == '__main__':
    main()
