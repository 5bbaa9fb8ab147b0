"""The editor's protocol without a browser: security, every edit, refused
edits, saving, files changed elsewhere, several clients, limits."""

import base64
import json
import os
import shutil
import socket
import struct
import tempfile
import time
import unittest

from editor_client import Editor, Socket

EXAMPLES = os.environ["EXAMPLES"]


def is_document(message):
    return message.get("type") == "document"


class EditorProtocolTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.file = os.path.join(self.folder, "fire.json")
        shutil.copy(os.path.join(EXAMPLES, "fire.json"), self.file)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def start(self, *extra):
        editor = Editor(self.file, *extra)
        self.addCleanup(editor.close)
        return editor

    def session(self, editor):
        client = Socket(editor)
        self.assertEqual(client.status, 101)
        first = client.until(is_document)
        return client, first["document"]

    def test_only_the_token_holder_from_our_own_origin_gets_in(self):
        editor = self.start()
        self.assertEqual(editor.get("/api/classes")[0], 403)
        self.assertEqual(editor.get("/api/document", {"X-Tembra-Token": "0" * 32})[0], 403)
        self.assertEqual(editor.get("/api/document?token=" + editor.token)[0], 200)
        # DNS rebinding: our port under another name.
        self.assertEqual(editor.get("/api/classes", {"X-Tembra-Token": editor.token,
                                                     "Host": f"evil.example:{editor.port}"})[0], 403)
        self.assertEqual(editor.get("/api/classes", {"X-Tembra-Token": editor.token,
                                                     "Origin": "http://evil.example"})[0], 403)
        self.assertEqual(Socket(editor, token="f" * 32).status, 403)
        self.assertEqual(Socket(editor, origin="http://evil.example").status, 403)
        self.assertEqual(Socket(editor, origin=f"http://127.0.0.1:{editor.port}").status, 101)
        self.assertEqual(editor.get("/../../etc/passwd")[0], 404)
        status, body = editor.api("/api/classes")
        names = [c["name"] for b in json.loads(body)["bundles"] for c in b["classes"]]
        self.assertIn("TembraFire", names)

    def test_edits_change_the_running_composition_and_refused_ones_change_nothing(self):
        editor = self.start("--watch", "fire.inputCoolRate")
        editor.wait_line(r"fire\.inputCoolRate = 0\.98", 10)
        client, document = self.session(editor)
        self.assertEqual(document["patches"][0]["id"], "fire")

        # A slider's drag: many sets of one port in a row, undone as one edit.
        for value, merge in [(0.97, False), (0.96, True), (0.95, True)]:
            self.assertTrue(client.request({"type": "set", "port": "fire.inputCoolRate", "value": value,
                                            "merge": merge})["ok"])
        editor.wait_line(r"fire\.inputCoolRate = 0\.95", 10)

        self.assertTrue(client.request({"type": "add", "class": "Billboard"})["ok"])
        self.assertTrue(client.request({"type": "connect", "from": "fire.outputImageVisible",
                                        "to": "billboard.inputImage"})["ok"])
        self.assertTrue(client.request({"type": "move", "patch": "billboard", "x": 300, "y": 40})["ok"])
        self.assertTrue(client.request({"type": "rename", "patch": "billboard", "to": "show"})["ok"])
        # A mapped connection, its map changed and then taken off; a map
        # that does not make sense is refused.
        self.assertTrue(client.request({"type": "add", "class": "LFO", "patch": "wave"})["ok"])
        self.assertTrue(client.request({"type": "connect", "from": "wave.outputValue", "to": "show.inputX"})["ok"])
        self.assertTrue(client.request({"type": "map", "to": "show.inputX",
                                        "map": {"from": [-1, 1], "to": [-0.5, 0.5], "curve": 2}})["ok"])
        mapped = json.loads(editor.api("/api/document")[1])["connections"][1]
        self.assertEqual(mapped["map"], {"from": [-1, 1], "to": [-0.5, 0.5], "curve": 2})
        answer = client.request({"type": "map", "to": "show.inputX", "map": {"to": [0, 1], "curve": -1}})
        self.assertFalse(answer["ok"])
        self.assertIn("curve", answer["error"])
        self.assertTrue(client.request({"type": "map", "to": "show.inputX", "map": None})["ok"])
        self.assertTrue(client.request({"type": "remove", "patch": "wave"})["ok"])
        document = json.loads(editor.api("/api/document")[1])
        self.assertEqual(document["connections"], [{"from": "fire.outputImageVisible", "to": "show.inputImage"}])
        self.assertEqual(document["patches"][1]["editor"], {"x": 300.0, "y": 40.0})

        for edit, why in [
            ({"type": "connect", "from": "fire.outputImageVisible", "to": "fire.inputCoolRate"}, "image"),
            ({"type": "connect", "from": "fire.outputNothing", "to": "show.inputX"}, "outputNothing"),
            ({"type": "set", "port": "fire.inputCoolRate", "value": "hot"}, "inputCoolRate"),
            ({"type": "add", "class": "NoSuchPatch"}, "NoSuchPatch"),
            ({"type": "remove", "patch": "ghost"}, "ghost"),
            ({"type": "fly"}, "fly"),
        ]:
            answer = client.request(edit)
            self.assertFalse(answer["ok"], edit)
            self.assertIn(why, answer["error"])
        self.assertEqual(json.loads(editor.api("/api/document")[1]), document)

        # The fire keeps its state through the edits: the value set stays.
        self.assertTrue(client.request({"type": "remove", "patch": "show"})["ok"])
        self.assertEqual(len(json.loads(editor.api("/api/document")[1])["patches"]), 1)
        self.assertTrue(client.request({"type": "undo"})["ok"])
        self.assertEqual(len(json.loads(editor.api("/api/document")[1])["patches"]), 2)
        self.assertTrue(client.request({"type": "redo"})["ok"])
        self.assertEqual(len(json.loads(editor.api("/api/document")[1])["patches"]), 1)
        for _ in range(11):
            client.request({"type": "undo"})
        editor.wait_line(r"fire\.inputCoolRate = 0\.98", 10)
        self.assertFalse(client.request({"type": "undo"})["ok"])

    def test_save_writes_a_stable_file_and_never_overwrites_a_change_made_elsewhere(self):
        editor = self.start()
        client, _ = self.session(editor)
        self.assertTrue(client.request({"type": "set", "port": "fire.inputCoolRate", "value": 0.9})["ok"])
        self.assertTrue(client.request({"type": "save"})["ok"])
        with open(self.file) as f:
            saved = f.read()
        self.assertEqual(json.loads(saved)["patches"][0]["inputs"]["inputCoolRate"], 0.9)
        self.assertTrue(saved.startswith('{\n  "renderSize"'))
        self.assertEqual([n for n in os.listdir(self.folder)], ["fire.json"])

        # Another program changes the file while the editor has unsaved edits.
        self.assertTrue(client.request({"type": "set", "port": "fire.inputCoolRate", "value": 0.8})["ok"])
        with open(self.file, "w") as f:
            f.write(saved.replace("0.9", "0.85"))
        client.until(lambda m: m.get("type") == "error" and "changed on disk" in m["message"])
        answer = client.request({"type": "save"})
        self.assertFalse(answer["ok"])
        self.assertIn("changed on disk", answer["error"])
        self.assertTrue(client.request({"type": "save", "force": True})["ok"])
        with open(self.file) as f:
            self.assertEqual(json.loads(f.read())["patches"][0]["inputs"]["inputCoolRate"], 0.8)

        # Without unsaved edits, a change elsewhere is taken and sent to everyone.
        with open(self.file, "w") as f:
            f.write(saved.replace("0.9", "0.7"))
        pushed = client.until(lambda m: is_document(m) and
                              m["document"]["patches"][0]["inputs"]["inputCoolRate"] == 0.7)
        self.assertFalse(pushed["edited"])

    def test_a_new_file_is_created_by_the_first_save(self):
        self.file = os.path.join(self.folder, "new.json")
        editor = self.start()
        client, document = self.session(editor)
        self.assertEqual(document["patches"], [])
        self.assertTrue(client.request({"type": "add", "class": "TembraFire", "patch": "fire"})["ok"])
        self.assertFalse(os.path.exists(self.file))
        self.assertTrue(client.request({"type": "save"})["ok"])
        with open(self.file) as f:
            self.assertEqual(json.load(f)["patches"][0]["class"], "TembraFire")

    def test_every_client_sees_every_edit_and_bad_messages_leave_the_connection_open(self):
        editor = self.start()
        first, _ = self.session(editor)
        second, _ = self.session(editor)
        self.assertTrue(first.request({"type": "add", "class": "Clear", "patch": "clear"})["ok"])
        second.until(lambda m: is_document(m) and len(m["document"]["patches"]) == 2)

        first.send_text("{not json")
        self.assertFalse(first.until(lambda m: m.get("type") == "answer")["ok"])
        first.send_text('{"type": "set", "port": 5}')
        self.assertFalse(first.until(lambda m: m.get("type") == "answer")["ok"])
        for odd in [{"type": "save", "force": "yes"}, {"type": "learn", "port": 7}, {"type": "subscribe", "ports": 3},
                    {"type": "move", "patch": "fire", "x": "left", "y": None}, {"type": "learn", "port": "fire"}]:
            self.assertFalse(first.request(odd)["ok"], odd)
        self.assertTrue(first.request({"type": "subscribe", "ports": ["fire.outputImageVisible"]})["ok"])
        # The first values may come before the fire has drawn its first picture.
        values = first.until(lambda m: m.get("type") == "values" and
                             m["values"].get("fire.outputImageVisible", "").startswith("image 640"))
        self.assertEqual(values["values"]["fire.outputImageVisible"], "image 640x480")
        # A small picture of it: a PNG scaled down to 160 pixels wide.
        preview = first.until(lambda m: m.get("type") == "preview")
        self.assertEqual(preview["port"], "fire.outputImageVisible")
        prefix = "data:image/png;base64,"
        self.assertTrue(preview["image"].startswith(prefix))
        png = base64.b64decode(preview["image"][len(prefix):])
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", png[16:24]), (160, 120))

        # Past the message rate each message dropped is answered, and the
        # connection stays.
        for n in range(600):
            first.send_text(json.dumps({"type": "subscribe", "ports": [], "id": 1000 + n}))
        dropped = first.until(lambda m: m.get("type") == "answer" and not m["ok"])
        self.assertGreaterEqual(dropped["id"], 1000)
        self.assertIn("too many messages", dropped["error"])
        # Once the second is over, messages are taken again.
        deadline = time.monotonic() + 15
        while not first.request({"type": "subscribe", "ports": []})["ok"]:
            self.assertLess(time.monotonic(), deadline, "messages still dropped")

        # Past the size limit the host says why and closes that connection only.
        # The host may close while the rest of the message is still being sent.
        with self.assertRaises((ConnectionError, OSError)):
            first.send_text(json.dumps({"type": "set", "port": "fire.x", "value": "x" * (1024 * 1024 + 10)}))
            first.until(lambda m: False)
        self.assertTrue(second.request({"type": "remove", "patch": "clear"})["ok"])

    def test_clients_at_once_are_limited_even_when_they_come_together(self):
        editor = self.start()
        # Twelve handshakes sent before any answer is read.
        sockets = [socket.create_connection((editor.host, editor.port), timeout=10) for _ in range(12)]
        for s in sockets:
            key = base64.b64encode(os.urandom(16)).decode()
            s.sendall((f"GET /api/session?token={editor.token} HTTP/1.1\r\nHost: {editor.host}:{editor.port}\r\n"
                       f"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                       "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        statuses = []
        for s in sockets:
            self.addCleanup(s.close)
            head = b""
            while b"\r\n" not in head:
                chunk = s.recv(1)
                if not chunk:
                    break
                head += chunk
            statuses.append(int(head.split(b" ")[1]))
        self.assertEqual(statuses.count(101), 8)
        self.assertEqual(statuses.count(503), 4)


    def test_the_hosts_log_lines_reach_every_client(self):
        editor = self.start()
        client, _ = self.session(editor)
        self.assertTrue(client.request({"type": "add", "class": "ImageFile", "patch": "picture",
                                        "inputs": {"inputPath": "no-such-picture.png"}})["ok"])
        line = client.until(lambda m: m.get("type") == "log" and "no-such-picture.png" in m["line"])
        self.assertIn("ImageFile", line["line"])
        # A client that connects later sees the recent lines too.
        later, _ = self.session(editor)
        later.until(lambda m: m.get("type") == "log" and "no-such-picture.png" in m["line"])


    def test_a_shaders_ports_follow_its_file_and_its_connection_stays_in_the_document(self):
        shader = os.path.join(self.folder, "live.fs")

        def write_shader(inputs):
            with open(shader + ".new", "w") as out:
                out.write('/*{"INPUTS": [%s]}*/\nvoid main() { gl_FragColor = vec4(1.0); }\n' % inputs)
            os.replace(shader + ".new", shader)

        write_shader('{"NAME": "level", "TYPE": "float", "DEFAULT": 0.5, "MIN": 0, "MAX": 2}')
        with open(self.file, "w") as out:
            json.dump({"patches": [{"id": "e", "class": "Expression", "expression": "0.25"},
                                   {"id": "s", "class": "Shader", "shader": "live.fs"}],
                       "connections": [{"from": "e.outputResult", "to": "s.level"}]}, out)
        editor = self.start()
        client = Socket(editor)

        def shader_ports(message):
            return [p["name"] for p in message.get("ports", {}).get("s", [])]

        first = client.until(is_document)
        self.assertIn("level", shader_ports(first))
        level = next(p for p in first["ports"]["s"] if p["name"] == "level")
        self.assertEqual(level["range"], {"min": 0, "max": 2})
        write_shader("")
        gone = client.until(lambda m: is_document(m) and "level" not in shader_ports(m), 20)
        self.assertIn("outputImage", shader_ports(gone))
        self.assertEqual(gone["document"]["connections"], [{"from": "e.outputResult", "to": "s.level"}])
        client.until(lambda m: m.get("type") == "log" and "is inactive" in m["line"], 20)
        write_shader('{"NAME": "level", "TYPE": "float"}')
        client.until(lambda m: is_document(m) and "level" in shader_ports(m), 20)

    def test_midi_learn_adds_a_controller_input_mapped_onto_the_port(self):
        with open(self.file) as f:
            document = json.load(f)
        # A knob on channel 3, controller 21, turned to 64 again and again.
        document["midiSources"] = [{"name": "Knobs", "events": [
            {"time": 0.5 + 0.1 * i, "bytes": [0xB2, 21, 64]} for i in range(600)]}]
        with open(self.file, "w") as f:
            json.dump(document, f)
        editor = self.start("--watch", "fire.inputCoolRate")
        client, _ = self.session(editor)
        refused = client.request({"type": "learn", "port": "fire.outputImageVisible"})
        self.assertFalse(refused["ok"])
        self.assertIn("fire.outputImageVisible", refused["error"])

        self.assertTrue(client.request({"type": "learn", "port": "fire.inputCoolRate"}, limit=30)["ok"])
        document = json.loads(editor.api("/api/document")[1])
        learned = document["patches"][-1]
        self.assertEqual(learned["class"], "TembraMIDIInputCC")
        self.assertEqual(learned["inputs"], {"inputChannel": 3, "inputController": 21})
        self.assertEqual(document["connections"], [{"from": learned["id"] + ".outputValue", "to": "fire.inputCoolRate",
                                                    "map": {"from": [0, 127], "to": [0.9, 1.0]}}])
        expected = 0.9 + 0.1 * 64 / 127
        editor.wait_line(lambda line: "fire.inputCoolRate = " in line and
                         abs(float(line.split(" = ")[1]) - expected) < 1e-9, 20)
        # One undo takes the whole of it back.
        self.assertTrue(client.request({"type": "undo"})["ok"])
        self.assertEqual(len(json.loads(editor.api("/api/document")[1])["patches"]), 1)


if __name__ == "__main__":
    unittest.main()
