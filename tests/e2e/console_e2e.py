"""End-to-end tests of the console modes under Wine: the dump of the embedded files and the console
text, seen on a pseudo-terminal, with one key sent to the prompt."""

import filecmp
import os
import unittest

from wine_harness import PAYLOAD_NAMES, Terminal, WineTestCase, wait_for

RULE = "=" * 43
PROMPT = "Press any key to exit ..."
SUCCESS = "Successfully ran verification utility"


class Console(WineTestCase):
    def terminal(self, args, cwd, env=None):
        terminal = Terminal(self.prefix, args, cwd, env)
        self.addCleanup(terminal.close)
        return terminal

    def screen_lines(self, terminal):
        return [line.rstrip() for line in terminal.screen().splitlines() if line.strip()]

    def test_dump_writes_the_files_and_lists_them(self):
        terminal = self.terminal(["/b"], self.prefix.files)
        terminal.wait_for_text(PROMPT)
        self.assertFalse(terminal.finished(), "it waits for a key")
        lines = self.screen_lines(terminal)
        self.assertEqual(lines, [RULE, "=============== BINARY DUMP ===============", RULE]
                         + PAYLOAD_NAMES + [RULE, RULE, PROMPT])
        terminal.send_key("x")
        self.assertEqual(terminal.exit_code(), 1)
        self.assertEqual(sorted(os.listdir(self.prefix.files)), sorted(PAYLOAD_NAMES))
        for name in PAYLOAD_NAMES:
            self.assertTrue(filecmp.cmp(os.path.join(self.prefix.files, name),
                                        os.path.join(os.environ["MXV_PAYLOAD_DIR"], name),
                                        shallow=False), name)
        self.assert_log_entries([SUCCESS])

    def test_hardware_alone_asks_for_the_dump(self):
        terminal = self.terminal(["/h"], self.prefix.files)
        terminal.wait_for_text(PROMPT)
        self.assertEqual(self.screen_lines(terminal),
                         ["Must dump binaries (/b) before viewing hardware information", PROMPT])
        terminal.send_key("q")
        self.assertEqual(terminal.exit_code(), 1)
        self.assertEqual(os.listdir(self.prefix.files), [])
        self.assert_log_entries([SUCCESS])

    def test_an_arrow_key_ends_the_wait(self):
        terminal = self.terminal(["/h"], self.prefix.files)
        terminal.wait_for_text(PROMPT)
        self.assertFalse(terminal.finished(), "it waits for a key")
        # An arrow key gives no character, and still ends the wait.
        terminal.send_key("Up")
        self.assertEqual(terminal.exit_code(), 1)
        self.assert_log_entries([SUCCESS])

    def test_dump_runs_while_another_launcher_holds_the_lock(self):
        holder = self.terminal(["/h"], self.prefix.files)
        holder.wait_for_text(PROMPT)
        # The first launcher waits at its prompt, holding the lock, while the dump runs.
        dump_dir = os.path.join(self.prefix.root, "dump")
        os.makedirs(dump_dir)
        result = self.prefix.run(["/b"], cwd=dump_dir)
        self.assertEqual(result.code, 1)
        self.assertEqual(sorted(os.listdir(dump_dir)), sorted(PAYLOAD_NAMES))
        holder.send_key("k")
        self.assertEqual(holder.exit_code(), 1)
        self.assert_log_entries([SUCCESS, SUCCESS])


if __name__ == "__main__":
    unittest.main()
