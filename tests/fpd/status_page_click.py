"""Drives headless Chromium over the DevTools protocol through fpd's status page, as a
person at the shop would: types the till token, shows the printers, presses "Test print".

    status_page_click.py CHROMIUM URL TOKEN

Prints the page's message after the test print and the printers table's text. Every wait
happens in the page (a promise that a DOM change settles), never as a pause here.
"""
import json
import shutil
import subprocess
import sys
import tempfile

import websocket

chromium, url, token = sys.argv[1:4]
profile = tempfile.mkdtemp(prefix="fpd-cdp-")
browser = subprocess.Popen(
    [chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
     "--disable-background-networking", "--disable-component-update", "--disable-sync",
     "--disable-dev-shm-usage", "--remote-debugging-port=0", "--user-data-dir=" + profile, "about:blank"],
    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
try:
    endpoint = None
    for line in browser.stderr:
        if line.startswith("DevTools listening on "):
            endpoint = line.split(" ", 3)[3].strip()
            break
    if endpoint is None:
        sys.exit("chromium gave no DevTools endpoint")
    ws = websocket.create_connection(endpoint, timeout=60)
    counter = [0]
    events = []

    def call(method, params=None, session=None):
        counter[0] += 1
        message = {"id": counter[0], "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        ws.send(json.dumps(message))
        while True:
            answer = json.loads(ws.recv())
            if "method" in answer:
                events.append(answer["method"])
            if answer.get("id") == counter[0]:
                if "error" in answer:
                    sys.exit(method + ": " + json.dumps(answer["error"]))
                return answer["result"]

    def evaluate(session, expression):
        result = call("Runtime.evaluate", {"expression": expression, "awaitPromise": True, "returnByValue": True},
                      session)
        if "exceptionDetails" in result:
            sys.exit("page: " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    # Resolves with what `check` returns once it returns something, looking again after every
    # change of the page.
    def until(session, check):
        return evaluate(session, """new Promise(resolve => {
            const check = () => { const v = (%s)(); if (v) { observer.disconnect(); resolve(v); } };
            const observer = new MutationObserver(check);
            observer.observe(document, {subtree: true, childList: true, characterData: true, attributes: true});
            check();
        })""" % check)

    def wait_event(name):
        while name not in events:
            message = json.loads(ws.recv())
            if "method" in message:
                events.append(message["method"])

    target = call("Target.createTarget", {"url": "about:blank"})["targetId"]
    session = call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
    call("Page.enable", session=session)
    call("Page.navigate", {"url": url}, session)
    wait_event("Page.loadEventFired")
    until(session, "() => document.readyState === 'complete' && document.getElementById('login')")
    evaluate(session, "document.getElementById('token').value = %s; "
                      "document.getElementById('login').requestSubmit(); true" % json.dumps(token))
    until(session, "() => document.querySelector('button.test-print')")
    evaluate(session, "document.querySelector('button.test-print').click(); true")
    message = until(session, "() => { const t = document.getElementById('message').textContent;"
                             " return t.startsWith('Printed ') || t.startsWith('Not printed') ||"
                             " t.startsWith('The printer refused') ? t : ''; }")
    printers = evaluate(session, "document.getElementById('printers').innerText")
    print(message)
    print(printers)
    ws.close()
finally:
    browser.kill()
    browser.wait()
    shutil.rmtree(profile, ignore_errors=True)
