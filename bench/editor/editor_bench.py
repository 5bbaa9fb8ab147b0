"""Costs of `tembra edit`, as a performer feels them:
  1. a `set` sent on the WebSocket until the first frame that shows the new
     value (its --watch line), median and worst over many edits at 60 fps;
  2. a composition of 1,000 patches loaded in headless Chromium until the
     graph is drawn;
  3. the CPU `tembra` spends on 200 subscribed ports that change every frame
     (values at 30 a second), against the same composition unwatched.

  TEMBRA=build/bin/tembra python3 bench/editor/editor_bench.py [--edits N]
"""

import argparse
import json
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")
os.environ.setdefault("EXAMPLES", EXAMPLES)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "tools", "editor"))
from editor_client import Editor, Socket  # noqa: E402


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def set_to_frame(folder, edits):
    file = os.path.join(folder, "fire.json")
    shutil.copy(os.path.join(EXAMPLES, "fire.json"), file)
    editor = Editor(file, "--watch", "fire.inputCoolRate")
    try:
        client = Socket(editor)
        client.until(lambda m: m.get("type") == "document")
        editor.wait_line(r"fire\.inputCoolRate = ", 10)
        latencies = []
        for i in range(edits):
            value = round(0.9 + 0.09 * ((i % 97) + 1) / 98, 6)
            start = time.monotonic()
            client.send_text(json.dumps({"type": "set", "port": "fire.inputCoolRate", "value": value}))
            editor.wait_line(lambda line: line.rstrip().endswith(f"fire.inputCoolRate = {value:g}") or
                             line.rstrip().endswith(f"fire.inputCoolRate = {value}"), 10)
            latencies.append((time.monotonic() - start) * 1000)
        return latencies
    finally:
        editor.close()


def big_composition(folder, patches):
    file = os.path.join(folder, "big.json")
    document = {"renderSize": [64, 64], "patches": [
        {"id": f"wave{i}", "class": "LFO", "inputs": {"inputPeriod": 1 + i % 7},
         "editor": {"x": 40 + (i % 25) * 280, "y": 40 + (i // 25) * 240}} for i in range(patches)]}
    with open(file, "w") as f:
        json.dump(document, f)
    return file


def graph_drawn(folder, patches):
    from selenium.webdriver.support.ui import WebDriverWait
    from editor_browser_test import browser
    editor = Editor(big_composition(folder, patches))
    driver = browser()
    try:
        start = time.monotonic()
        driver.get(editor.url)
        WebDriverWait(driver, 60, poll_frequency=0.01).until(lambda d: d.execute_script(
            "return window.tembraEditor && window.tembraEditor.state.doc.patches.length === arguments[0] &&"
            " document.querySelectorAll('#classes .class').length > 0", patches))
        # The graph is drawn on the next animation frame.
        driver.execute_script("await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))")
        return (time.monotonic() - start) * 1000
    finally:
        driver.quit()
        editor.close()


def subscription_cost(folder, ports, seconds):
    file = big_composition(folder, ports)
    costs = []
    for subscribe in (False, True):
        editor = Editor(file)
        try:
            client = Socket(editor)
            client.until(lambda m: m.get("type") == "document")
            if subscribe:
                client.request({"type": "subscribe", "ports": [f"wave{i}.outputValue" for i in range(ports)]})
                client.until(lambda m: m.get("type") == "values", 10)
            before, start = cpu_seconds(editor.process.pid), time.monotonic()
            end = start + seconds
            updates = 0
            while time.monotonic() < end:
                try:
                    if client.receive(max(0.01, end - time.monotonic())).get("type") == "values":
                        updates += 1
                except (TimeoutError, OSError):
                    pass
            costs.append(((cpu_seconds(editor.process.pid) - before) / (time.monotonic() - start) * 100, updates))
        finally:
            editor.close()
    return costs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--edits", type=int, default=1000)
    parser.add_argument("--patches", type=int, default=1000)
    parser.add_argument("--ports", type=int, default=200)
    parser.add_argument("--seconds", type=float, default=10)
    args = parser.parse_args()
    folder = tempfile.mkdtemp()
    try:
        latencies = set_to_frame(folder, args.edits)
        print(f"set to frame over {len(latencies)} edits: median {statistics.median(latencies):.1f} ms, "
              f"worst {max(latencies):.1f} ms")
        print(f"{args.patches} patches drawn in headless Chromium: {graph_drawn(folder, args.patches):.0f} ms")
        (idle, _), (watched, updates) = subscription_cost(folder, args.ports, args.seconds)
        print(f"{args.ports} subscribed ports: tembra {watched:.1f} % of a core against {idle:.1f} % unwatched "
              f"({watched - idle:+.1f} %), {updates / args.seconds:.0f} value messages a second")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
