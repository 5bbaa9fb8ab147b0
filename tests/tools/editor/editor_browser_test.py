"""The editor's page in headless Chromium: the fire composition shows, a
patch added from the palette is connected, a slider dragged and a value typed in the inspector
reach the running composition, Ctrl-S saves; a page without the token is
refused; a colour port has a colour picker and an alpha slider."""

import json
import re
import os
import shutil
import tempfile
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

from editor_client import Editor, Socket

EXAMPLES = os.environ["EXAMPLES"]


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,900",
                     "--disable-dev-shm-usage"]:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class PageTest(unittest.TestCase):
    """A composition in a folder of its own, its editor, and a browser on the page."""

    def open(self, name, write, *arguments):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.file = os.path.join(self.folder, name)
        write(self.file)
        self.editor = Editor(self.file, *arguments)
        self.addCleanup(self.editor.close)
        self.driver = browser()
        self.addCleanup(self.driver.quit)
        self.wait = WebDriverWait(self.driver, 20)


class EditorBrowserTest(PageTest):
    def setUp(self):
        self.open("fire.json", lambda path: shutil.copy(os.path.join(EXAMPLES, "fire.json"), path),
                  "--watch", "fire.inputCoolRate")

    def test_a_performer_adds_connects_sets_and_saves(self):
        driver = self.driver
        driver.get(self.editor.url)
        self.wait.until(lambda d: d.execute_script(
            "return window.tembraEditor && window.tembraEditor.state.doc.patches.map(p => p.id).join()") == "fire")

        # The fire's picture shows under its box.
        self.wait.until(lambda d: d.execute_script(
            "const p = window.tembraEditor.previews.get('fire.outputImageVisible');"
            "return p ? p.naturalWidth : 0") == 160)

        driver.find_element(By.ID, "search").send_keys("billboard")
        driver.find_element(By.CSS_SELECTOR, '.class[data-class="Billboard"]').click()
        self.wait.until(lambda d: d.execute_script(
            "return window.tembraEditor.state.doc.patches.length") == 2)

        driver.execute_script("window.tembraEditor.select('billboard')")
        wire = driver.find_element(By.CSS_SELECTOR, '[data-port="billboard.inputImage"] select.wire')
        Select(wire).select_by_value("fire.outputImageVisible")
        self.wait.until(lambda d: d.execute_script(
            "return JSON.stringify(window.tembraEditor.state.doc.connections)") ==
            '[{"from":"fire.outputImageVisible","to":"billboard.inputImage"}]')

        driver.execute_script("window.tembraEditor.select('fire')")
        # The slider stays under the pointer while the documents its values
        # bring come back: drag it down from 0.98.
        slider = self.wait.until(lambda d: d.find_element(
            By.CSS_SELECTOR, '[data-port="fire.inputCoolRate"] input[type=range]'))
        ActionChains(driver).click_and_hold(slider).move_by_offset(-60, 0).release().perform()
        cool_rate = "window.tembraEditor.state.doc.patches[0].inputs.inputCoolRate"
        self.wait.until(lambda d: d.execute_script(f"return {cool_rate}") < 0.97)
        dragged = driver.execute_script(f"return {cool_rate}")
        self.editor.wait_line(lambda line: re.search(r"fire\.inputCoolRate = ([0-9.e-]+)$", line) and
                              float(line.split(" = ")[1]) == dragged, 20)
        # The field beside it takes an exact value.
        exact = driver.find_element(By.CSS_SELECTOR, '[data-port="fire.inputCoolRate"] input.exact')
        exact.clear()
        exact.send_keys("0.93", Keys.ENTER)
        self.editor.wait_line(r"fire\.inputCoolRate = 0\.93$", 20)

        driver.find_element(By.TAG_NAME, "body").send_keys(Keys.CONTROL, "s")
        self.wait.until(lambda d: d.find_element(By.ID, "status").text == "saved")
        # The host's log line about it shows on the page.
        self.wait.until(lambda d: "saved " + self.file in d.find_element(By.ID, "log").text)
        with open(self.file) as f:
            saved = json.load(f)
        self.assertEqual(saved["patches"][0]["inputs"]["inputCoolRate"], 0.93)
        self.assertEqual(saved["patches"][1]["class"], "Billboard")
        self.assertEqual(saved["connections"], [{"from": "fire.outputImageVisible", "to": "billboard.inputImage"}])

    def test_a_page_without_the_token_is_refused(self):
        self.driver.get(self.editor.url.replace(self.editor.token, "0" * 32))
        self.wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-refused") == "true")
        self.assertIn("refused", self.driver.find_element(By.ID, "status").text)
        self.assertEqual(self.driver.execute_script("return window.tembraEditor.state.doc.patches.length"), 0)


class ColourBrowserTest(PageTest):
    def setUp(self):
        # ColorMap's gradient stops are colour ports.
        def write(path):
            with open(path, "w") as f:
                json.dump({"patches": [{"id": "a", "class": "ColorMap", "inputs": {"stop1": [0.2, 0.4, 0.6, 1]}}]}, f)
        self.open("map.json", write, "--watch", "a.stop1")

    def stop(self):
        return self.driver.execute_script("return window.tembraEditor.state.doc.patches[0].inputs.stop1")

    def test_a_colour_is_picked_its_alpha_dragged_and_it_follows_the_host(self):
        driver = self.driver
        driver.get(self.editor.url)
        self.wait.until(lambda d: d.execute_script(
            "return window.tembraEditor && window.tembraEditor.state.doc.patches.map(p => p.id).join()") == "a")
        driver.execute_script("window.tembraEditor.select('a')")
        picker = self.wait.until(lambda d: d.find_element(By.CSS_SELECTOR, '[data-port="a.stop1"] input[type=color]'))
        self.assertEqual(picker.get_attribute("value"), "#336699")

        # Headless, the browser's own picker cannot be opened: the value is set and announced as a pick does.
        driver.execute_script("arguments[0].value = '#ff8000';"
                              "arguments[0].dispatchEvent(new Event('input'));"
                              "arguments[0].dispatchEvent(new Event('change'));", picker)
        self.wait.until(lambda d: self.stop() == [1, 0.502, 0, 1])
        self.editor.wait_line(r"a\.stop1 = \[1, 0\.502, 0, 1\]$", 20)

        # One drag of the alpha slider is one undo step.
        alpha = driver.find_element(By.CSS_SELECTOR, '[data-port="a.stop1"] input.alpha')
        ActionChains(driver).click_and_hold(alpha).move_by_offset(-40, 0).release().perform()
        self.wait.until(lambda d: self.stop()[3] < 0.9)
        self.assertEqual(self.stop()[:3], [1, 0.502, 0])
        client = Socket(self.editor)
        self.assertTrue(client.request({"type": "undo"})["ok"])
        self.wait.until(lambda d: self.stop() == [1, 0.502, 0, 1])

        # Another client's colour shows in the same controls.
        self.assertTrue(client.request({"type": "set", "port": "a.stop1", "value": "#00ff0080"})["ok"])
        self.wait.until(lambda d: picker.get_attribute("value") == "#00ff00")
        self.assertAlmostEqual(float(alpha.get_attribute("value")), 128 / 255, places=3)
        self.editor.wait_line(r"a\.stop1 = \[0, 1, 0, 0\.50196\d*\]$", 20)


if __name__ == "__main__":
    unittest.main()
