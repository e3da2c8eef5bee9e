"""Client of the UI driver (tools/driver): works dialogs from outside, as a person would.

One driver process runs per session, inside the session's prefix; each call
is one request line and one answer line. Typical use:

    ui = session.driver()
    dlg = ui.find_window("Farlink To WinCE")
    dlg.type(1012, "10")          # focus, then keystrokes
    dlg.focus(1002)               # leaving the field fires its kill-focus
    box = dlg.wait_owned()        # a message box it opened, if any
    caption, text, buttons = box.message_box()
    box.press(1)

Actions (click, focus, type, syscommand, ...) return the outcome of the
message they sent: "done", or "modal" when the program opened a modal box
while handling it (the call returns as soon as the box is up).
"""

import subprocess
import threading

from farlink_wine import HarnessError, wait_for

IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
SC_CLOSE = 0xF060


class DriverError(Exception):
    """The driver refused a command (no such window, control disabled, ...)."""


def _escape(text):
    return (str(text).replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r")
            .replace("\n", "\\n"))


def _split(line):
    fields, field, i = [], [], 0
    line = line.rstrip("\n")
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            field.append({"t": "\t", "r": "\r", "n": "\n"}.get(line[i + 1], line[i + 1]))
            i += 2
            continue
        if c == "\t":
            fields.append("".join(field))
            field = []
        else:
            field.append(c)
        i += 1
    fields.append("".join(field))
    return fields


# The main dialog's Password field: texts put there are the session's secrets.
PASSWORD_FIELD = 1005


class UiDriver:
    """The driver process of a session (see WineSession.driver())."""

    def __init__(self, session, exe, answer_timeout=60.0):
        self.session = session
        self._answer_timeout = answer_timeout
        self.stderr_path = session.run_dir / "ui_driver.stderr"
        with open(self.stderr_path, "w") as err:
            self._proc = subprocess.Popen(
                [session._loader, str(exe)], env=session.environment(),
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err,
                cwd=session.run_dir, start_new_session=True, encoding="utf-8")
        self._lock = threading.Lock()

    def call(self, *fields):
        """Sends one command; returns the answer's fields after "ok"."""
        with self._lock:
            if self._proc.poll() is not None:
                raise HarnessError("UI driver ended (exit %s); see %s" % (
                    self._proc.returncode, self.stderr_path))
            self._proc.stdin.write("\t".join(_escape(f) for f in fields) + "\n")
            self._proc.stdin.flush()
            answer = self._read_line()
        parts = _split(answer)
        if parts[0] == "ok":
            return parts[1:]
        raise DriverError("%s: %s" % (" ".join(str(f) for f in fields), " ".join(parts[1:])))

    def _read_line(self):
        result = []
        reader = threading.Thread(target=lambda: result.append(self._proc.stdout.readline()))
        reader.daemon = True
        reader.start()
        reader.join(self._answer_timeout)
        if reader.is_alive() or not result or not result[0]:
            raise HarnessError("UI driver gave no answer; see %s" % self.stderr_path)
        return result[0]

    def _stop(self):
        if self._proc.poll() is None:
            try:
                self._proc.stdin.write("quit\n")
                self._proc.stdin.close()
                self._proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self._proc.kill()
                self._proc.wait()

    # -- windows

    def find_window(self, caption, timeout=20.0):
        """The visible top-level window with exactly this caption (waits for it)."""
        return Window(self, self.call("find", caption, int(timeout * 1000))[0])

    def try_find_window(self, caption):
        """Like find_window() without waiting; None when there is none."""
        try:
            return Window(self, self.call("find", caption, 0)[0])
        except DriverError:
            return None

    def counters(self, pid):
        """Resource counters of a process, as the platform reports them: dict(handles, user,
        gdi, private, working_set, threads, cpu_ms). Where the platform has no private-bytes
        figure, private is the committed memory."""
        names = ("handles", "user", "gdi", "private", "working_set", "threads", "cpu_ms")
        return dict(zip(names, (int(v) for v in self.call("counters", pid))))

    def windows(self):
        """Visible top-level windows: [(handle, pid, class, caption)]."""
        f = self.call("windows")
        return [tuple(f[i:i + 4]) for i in range(0, len(f), 4)]


class Window:
    """A window of the program under test, seen through the driver."""

    def __init__(self, driver, handle):
        self.driver = driver
        self.handle = handle

    def __repr__(self):
        return "Window(%s)" % self.handle

    def _call(self, command, *args):
        return self.driver.call(command, self.handle, *args)

    # -- reading

    def caption(self):
        return self._call("caption")[0]

    def text(self, control_id):
        return self._call("text", control_id)[0]

    def text_extent(self, control):
        """How a control's text measures in the control's own font, beside its room.

        `control` is a control id or an entry of controls() (labels all have
        the id -1; their entries tell them apart).

        Returns dict(width, height, client_width, client_height, face): the
        text's extent on one line as the control draws it ('&' mnemonics not
        counted, unless a static has SS_NOPREFIX), its client size in pixels, and
        the face name the font resolved to. Measured inside the program by the
        driver's probe DLL, since a font belongs to the process that made it.
        """
        if not isinstance(control, dict):
            found = [c for c in self.controls() if c["id"] == int(control)]
            if not found:
                raise DriverError("no control %s" % control)
            control = found[0]
        width, height, client_width, client_height, face = self.driver.call("extent",
                                                                            control["handle"])
        return dict(width=int(width), height=int(height), client_width=int(client_width),
                    client_height=int(client_height), face=face)

    def _state(self, control_id):
        enabled, checked, visible, focused = self._call("state", control_id)
        return enabled == "1", int(checked), visible == "1", focused == "1"

    def enabled(self, control_id):
        return self._state(control_id)[0]

    def checked(self, control_id):
        """1 checked, 0 not, -1 when the control is no check box or radio button."""
        return self._state(control_id)[1]

    def visible(self, control_id):
        return self._state(control_id)[2]

    def focused(self, control_id):
        return self._state(control_id)[3]

    def combo(self, control_id):
        """(selected index or -1, [item texts])."""
        fields = self._call("combo", control_id)
        return int(fields[0]), fields[1:]

    def controls(self):
        """Every child control: [dict(id, cls, enabled, checked, visible, text, handle)]."""
        f = self._call("controls")
        return [dict(id=int(f[i]), cls=f[i + 1], enabled=f[i + 2] == "1", checked=int(f[i + 3]),
                     visible=f[i + 4] == "1", text=f[i + 5], handle=f[i + 6])
                for i in range(0, len(f), 7)]

    def rect(self):
        """(left, top, right, bottom) of the whole window on the screen."""
        return tuple(int(v) for v in self._call("rect"))

    def paint(self):
        """Has the window and its controls painted now."""
        self._call("paint")

    def exists(self):
        return self.driver.call("exists", self.handle)[0] == "1"

    def pid(self):
        return int(self._call("pid")[0])

    # -- acting (each returns "done", "modal" or "pending")

    def _act(self, command, *args):
        return self._call(command, *args)[0]

    def set_text(self, control_id, text):
        """Replaces a control's text in one message (WM_SETTEXT)."""
        self._note_password(control_id, text)
        return self._act("settext", control_id, text)

    def put_text(self, control_id, text):
        """WM_SETTEXT as another program would send it: also to a disabled control."""
        self._note_password(control_id, text)
        return self._act("puttext", control_id, text)

    def type(self, control_id, text):
        """Moves the focus to the field (selecting its text), then types `text`."""
        self._note_password(control_id, text)
        return self._act("type", control_id, text)

    def _note_password(self, control_id, text):
        # What goes into the main dialog's Password field must stay out of the logs.
        if int(control_id) == PASSWORD_FIELD:
            self.driver.session.secret(text)

    def focus(self, control_id):
        """Moves the keyboard focus to a control, as Tab or a click would."""
        return self._act("focus", control_id)

    def click(self, control_id):
        """Clicks a button or radio button (refused when it is disabled or hidden)."""
        return self._act("click", control_id)

    def select(self, control_id, index):
        """Chooses item `index` of a combo box, notifying the dialog as a user's choice does."""
        return self._act("select", control_id, index)

    def key(self, key):
        """Presses a key ("ESCAPE", "RETURN", "TAB" or a virtual-key code) in this window."""
        self._call("key", key)

    def syscommand(self, command_id):
        """Chooses a system-menu item (e.g. 16 for the program's About item)."""
        return self._act("syscommand", command_id)

    def command(self, command_id):
        """Sends the window WM_COMMAND `command_id`, as a program would; disabled or not."""
        return self._act("command", command_id)

    def close(self):
        """Clicks the caption's close box."""
        return self._act("close")

    def press(self, button_id):
        """Presses a button of a message box or dialog (IDOK, IDYES, ...)."""
        return self.click(button_id)

    # -- waiting

    def wait_gone(self, timeout=10.0):
        """Waits until the window is closed; raises TimeoutError otherwise."""
        try:
            self.driver.call("gone", self.handle, int(timeout * 1000))
        except DriverError:
            raise TimeoutError("window %s still open after %.1f s" % (self.handle, timeout))

    def wait_owned(self, timeout=10.0):
        """The box this window opened (message box, About, file dialog)."""
        handle = self.driver.call("owned", self.handle, int(timeout * 1000))[0]
        return Window(self.driver, handle)

    def wait_text(self, control_id, predicate, timeout=10.0):
        """Polls a control's text until predicate(text) (or text == predicate); returns it."""
        test = predicate if callable(predicate) else (lambda text: text == predicate)

        def matches():
            text = self.text(control_id)
            return (text,) if test(text) else None
        return wait_for(matches, timeout, what="text of control %s" % control_id)[0]

    # -- boxes

    def message_box(self):
        """(caption, text, [button ids]) of a message box."""
        controls = self.controls()
        texts = [c["text"] for c in controls
                 if c["cls"].lower() == "static" and c["text"] and c["visible"]]
        buttons = [c["id"] for c in controls if c["cls"].lower() == "button" and c["visible"]]
        return self.caption(), "\n".join(texts), buttons

    def _file_dialog(self, path, answer_overwrite):
        self._call("filename", path)
        outcome = self.click(IDOK)
        if outcome == "modal":
            question = self.wait_owned(5)
            question.press(answer_overwrite)
        return outcome

    def file_dialog_save(self, path, overwrite=True):
        """Types `path` (a Windows path) into a Save dialog and presses Save.

        An overwrite question is answered Yes (or No with overwrite=False).
        """
        return self._file_dialog(path, IDYES if overwrite else IDNO)

    def file_dialog_open(self, path):
        """Types `path` into an Open dialog and presses Open."""
        self.driver.session.note_profile(path)
        return self._file_dialog(path, IDOK)

    def file_dialog_cancel(self):
        return self.press(IDCANCEL)

