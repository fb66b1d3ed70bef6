#!/usr/bin/env python3
"""Acceptance tests that drive the real quillmere binary through an X server.

Each scenario starts its own Xvfb, starts the program with a home, data,
runtime and temporary folder inside one temporary folder, and works the
window only with real pointer clicks and key presses sent by xdotool. What the
program did is then read back from the file system: which files are gone,
what the trash holds, and that every other file kept its bytes.

Usage: gui_acceptance.py --program PATH --screens DIR --scenario NAME

Exit status 0 on success, 1 on failure, 77 when Xvfb, xdotool or ImageMagick's
import is missing (CTest counts that as skipped).
"""

import argparse
import ctypes
import hashlib
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

SKIP = 77

# Everything a scenario does has to fit into this many seconds; CTest's own
# limit lies above it, so a hang ends here with a message and a clean-up.
OVERALL_SECONDS = 150


class Failure(Exception):
    pass


class OutOfTime(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- processes -------------------------------------------------------------------

_libc = ctypes.CDLL(None, use_errno=True)
PR_SET_PDEATHSIG = 1


def _die_with_parent():
    # A child that outlives this script (killed by a timeout) would keep an X
    # server or the program running; the kernel ends it with the script.
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


class Processes:
    """The processes a scenario started, ended by process id, newest first."""

    def __init__(self):
        self.started = []

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, preexec_fn=_die_with_parent, **kwargs)
        self.started.append(process)
        return process

    def end_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                try:
                    process.terminate()
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=5)
                except ProcessLookupError:
                    pass
        self.started.clear()


def start_xvfb(processes, log_path):
    """Starts Xvfb on a display number it picks itself; returns ':N'."""
    read_end, write_end = os.pipe()
    log = open(log_path, "wb")
    processes.start(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT)
    os.close(write_end)
    text = b""
    deadline = time.monotonic() + 20
    while not text.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        check(remaining > 0, "Xvfb did not report a display within 20 s (see %s)" % log_path)
        ready, _, _ = select.select([read_end], [], [], remaining)
        if ready:
            chunk = os.read(read_end, 64)
            check(chunk, "Xvfb ended without reporting a display (see %s)" % log_path)
            text += chunk
    os.close(read_end)
    return ":" + text.decode().strip()


# ---- the X server -------------------------------------------------------------------

class Screen:
    def __init__(self, display, screens_dir):
        self.env = dict(os.environ, DISPLAY=display)
        self.screens_dir = screens_dir
        self.shots = 0

    def run(self, argv, timeout=20):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout)
        if result.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(argv), result.stderr.decode(errors="replace").strip()))
        return result.stdout

    def xdotool(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args]).decode()

    def click(self, x, y):
        # No --sync: it waits for a motion that never comes when the pointer
        # already rests there (Start, Next, Delete and Exit share a place).
        self.xdotool("mousemove", x, y)
        time.sleep(0.05)
        self.xdotool("click", "1")
        time.sleep(0.15)

    def key(self, *keys):
        self.xdotool("key", "--delay", "20", *keys)

    def window_named(self, name):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % name],
                               env=self.env, capture_output=True, timeout=10)
        return found.stdout.decode().split()

    def type_text(self, text):
        self.xdotool("type", "--delay", "8", text)

    def grab(self, x, y, width, height):
        """Raw RGB bytes of a screen rectangle."""
        data = self.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                         "+repage", "-depth", "8", "rgb:-"])
        check(len(data) == width * height * 3, "import returned %d bytes for a %dx%d grab" % (len(data), width, height))
        return data

    def screenshot(self, name):
        self.shots += 1
        path = os.path.join(self.screens_dir, "%02d-%s.png" % (self.shots, name))
        self.run(["import", "-window", "root", path])
        return path


class Image:
    """A grabbed rectangle, addressed in its own coordinates."""

    def __init__(self, data, width, height):
        self.data, self.width, self.height = data, width, height

    def crop(self, x, y, width, height):
        rows = []
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            rows.append(self.data[start:start + width * 3])
        return b"".join(rows)


# ---- the main window -------------------------------------------------------------------

# Page 0, relative to the window (its group box sits at the window's origin).
EDIT1 = (23, 32)
# The bottom panels of the four pages: 93 high, inside the group box frame.
PANEL_INSET = 5
PANEL_HEIGHT = 93
BUTTON_W, BUTTON_H = 75, 26
# The found page's selection buttons: 75 x 25 at top 20 of the panel, placed
# from the window's outer width.
SELECT_BUTTON_TOP = 20
# Result table: viewport origin inside the window (below the group caption,
# inside the table's one-pixel frame), header height (the 11-pixel font's
# line height + 8), row pitch (81 high rows and a grid line) and the column
# widths. The origin and header height were read off screenshots taken with
# the Fusion style; toggle_row() notices when a click misses its check box.
TABLE_VIEWPORT = (6, 22)
HEADER_HEIGHT = 21
ROW_PITCH = 82
ROW_HEIGHT = 81
COLUMN_WIDTHS = [27, 242, 74, 93, 81, 138, 64]  # "#" to "Delete", each followed by a grid line
DEST_COLUMN = 1
DELETE_COLUMN = 6
CHECK_SIDE = 13
VISIBLE_ROWS = 4
# The removal page's "Delete to the Recycle bin" and "Delete from hard drive"
# radio buttons.
RADIO_RECYCLE_BIN = (16, 32)
RADIO_HARD_DRIVE = (16, 56)
RADIO_HARD_LINKS = (16, 80)
# The options page's mask drop-down, and the choice of what counts as a
# duplicate below the designed controls.
MASK_BOX = (22, 83)
RADIO_SIMILAR_PICTURES = (22, 172)
# "Never remove from": the Add button of the protected folders' list.
PROTECT_ADD = (22 + 358, 278 + 18)
# Where every page shows its group caption.
CAPTION_STRIP = (0, 0, 220, 14)


class Window:
    def __init__(self, screen, window_id):
        self.screen = screen
        self.id = window_id
        geometry = screen.xdotool("getwindowgeometry", window_id)
        position = geometry.split("Position:")[1].split()[0]
        size = geometry.split("Geometry:")[1].split()[0]
        self.x, self.y = (int(v) for v in position.split(","))
        self.width, self.height = (int(v) for v in size.split("x"))
        check((self.width, self.height) == (769, 530),
              "the main window is %dx%d, not the 769x530 the control positions are taken from"
              % (self.width, self.height))

    def at(self, x, y):
        return self.x + x, self.y + y

    def click_at(self, x, y):
        self.screen.click(*self.at(x, y))

    def panel_origin(self):
        return PANEL_INSET, self.height - PANEL_INSET - PANEL_HEIGHT

    def click_panel_button(self, left, top=66, height=BUTTON_H):
        px, py = self.panel_origin()
        self.click_at(px + left + BUTTON_W // 2, py + top + height // 2)

    # Page 0.
    def set_start_folder(self, folder):
        self.click_at(EDIT1[0] + 60, EDIT1[1] + 12)
        self.screen.key("ctrl+a")
        self.screen.type_text(folder)

    def press_start(self):
        self.click_panel_button(0)

    def choose_all_pictures(self):
        """Picks the mask list's last entry, All pictures."""
        self.click_at(MASK_BOX[0] + 60, MASK_BOX[1] + 11)
        time.sleep(0.3)
        self.screen.key("End", "Return")
        time.sleep(0.2)

    def add_protected_folder(self, folder):
        """Add... on the options page, then the folder typed into the folder
        dialog; gives the dialog a second Return when the first only closed
        the completion list."""
        self.click_at(PROTECT_ADD[0] + BUTTON_W // 2, PROTECT_ADD[1] + 12)
        deadline = time.monotonic() + 10
        while not self.screen.window_named("Select folder"):
            check(time.monotonic() < deadline, "Add... opened no folder dialog")
            time.sleep(0.2)
        self.screen.screenshot("folder-dialog")
        self.screen.key("ctrl+a")
        self.screen.type_text(folder)
        time.sleep(0.3)
        for _ in range(3):
            self.screen.key("Return")
            time.sleep(0.5)
            if not self.screen.window_named("Select folder"):
                return
        raise Failure("the folder dialog did not take %s" % folder)

    def choose_similar_pictures(self):
        self.click_at(RADIO_SIMILAR_PICTURES[0] + 7, RADIO_SIMILAR_PICTURES[1] + 8)

    # Page 1.
    def press_next(self):
        self.click_panel_button(0)

    def press_back(self):
        # "Back" sits at 77 on the found, removal and report pages alike.
        self.click_panel_button(77)

    def press_stop(self):
        self.click_panel_button(154)

    def press_select_all(self):
        self.click_panel_button(self.width - 2 * BUTTON_W - 25, SELECT_BUTTON_TOP, 25)

    def press_deselect_all(self):
        self.click_panel_button(self.width - 3 * BUTTON_W - 25, SELECT_BUTTON_TOP, 25)

    def press_invert(self):
        self.click_panel_button(self.width - BUTTON_W - 25, SELECT_BUTTON_TOP, 25)

    def click_header(self, column):
        left = TABLE_VIEWPORT[0] + sum(w + 1 for w in COLUMN_WIDTHS[:column])
        self.click_at(left + COLUMN_WIDTHS[column] // 2, TABLE_VIEWPORT[1] + HEADER_HEIGHT // 2)

    def check_box_centre(self, row):
        check(0 <= row < VISIBLE_ROWS, "row %d is not fully visible without scrolling" % row)
        left = TABLE_VIEWPORT[0] + sum(w + 1 for w in COLUMN_WIDTHS[:DELETE_COLUMN])
        cx = left + COLUMN_WIDTHS[DELETE_COLUMN] // 2
        cy = TABLE_VIEWPORT[1] + HEADER_HEIGHT + row * ROW_PITCH + ROW_HEIGHT // 2
        return cx, cy

    def check_box_pixels(self, row):
        cx, cy = self.check_box_centre(row)
        x, y = self.at(cx - CHECK_SIDE // 2 + 2, cy - CHECK_SIDE // 2 + 2)
        return self.screen.grab(x, y, CHECK_SIDE - 4, CHECK_SIDE - 4)

    def toggle_row(self, row):
        """Clicks the Delete box of a row and makes sure the box changed."""
        before = self.check_box_pixels(row)
        self.click_at(*self.check_box_centre(row))
        after = self.check_box_pixels(row)
        check(before != after, "clicking the Delete box of row %d at %s changed nothing on the screen"
              % (row, self.at(*self.check_box_centre(row))))

    # Page 2.
    def choose_hard_drive(self):
        self.click_at(RADIO_HARD_DRIVE[0] + 7, RADIO_HARD_DRIVE[1] + 8)

    def choose_hard_links(self):
        self.click_at(RADIO_HARD_LINKS[0] + 7, RADIO_HARD_LINKS[1] + 8)

    def press_delete(self):
        self.click_panel_button(0)

    def confirm_hard_drive(self):
        """Answers the question before deleting from the hard drive with its
        button's Alt key; the button is clicked, and the question closed,
        after a short animation."""
        time.sleep(1.0)
        self.screen.key("alt+d")
        time.sleep(0.5)

    # Page 3.
    def press_exit(self):
        self.click_panel_button(0)

    def report_lines(self):
        """The report's text, copied through the clipboard (ctrl+a, ctrl+c in
        the report box); None when xclip is not there to read it."""
        if shutil.which("xclip") is None:
            return None
        px, py = self.panel_origin()
        self.click_at(self.width // 2, py // 2)
        self.screen.key("ctrl+a", "ctrl+c")
        time.sleep(0.2)
        text = self.screen.run(["xclip", "-o", "-selection", "clipboard"], timeout=10)
        return text.decode("utf-8").splitlines()

    # Looking at it.
    def grab(self):
        return Image(self.screen.grab(self.x, self.y, self.width, self.height), self.width, self.height)

    def caption(self):
        return self.grab().crop(*CAPTION_STRIP)

    def busy_region(self):
        """The table, the labels and the report: what changes while work runs.

        The progress bar is left out, since a bar whose range is empty shows a
        moving busy indicator."""
        image = self.grab()
        px, py = self.panel_origin()
        return image.crop(0, 0, self.width, py) + image.crop(px, py + 17, self.width - 2 * px, 45)

    def wait_settled(self, what, quiet=1.5, timeout=60):
        """Waits until the window's busy region has shown at most two different
        pictures for `quiet` seconds: a blinking text cursor flips between two,
        work that goes on shows more."""
        time.sleep(0.3)
        start = time.monotonic()
        history = []
        while True:
            now = time.monotonic()
            check(now - start < timeout, "%s: the window kept changing for %d s" % (what, timeout))
            history.append((now, hashlib.sha1(self.busy_region()).digest()))
            recent = [frame for at, frame in history if now - at <= quiet]
            if now - history[0][0] >= quiet and len(set(recent)) <= 2:
                return
            history = [(at, frame) for at, frame in history if now - at <= quiet + 0.5]
            time.sleep(0.2)


class Pages:
    """Tells the four pages apart by their group captions."""

    NAMES = ["options", "found", "removal", "report"]

    def __init__(self, window):
        self.window = window
        self.known = {}

    def learn(self, index):
        caption = self.window.caption()
        for other, seen in self.known.items():
            check(seen != caption, "the %s page looks like the %s page" % (self.NAMES[index], self.NAMES[other]))
        self.known[index] = caption

    def expect(self, index, after):
        caption = self.window.caption()
        if index not in self.known:
            self.learn(index)
            return
        if caption != self.known[index]:
            shown = [self.NAMES[i] for i, seen in self.known.items() if seen == caption]
            raise Failure("after %s the %s page should show, but %s shows" % (
                after, self.NAMES[index], shown[0] + " page" if shown else "something else"))


class Program:
    """One run of quillmere on its own X server."""

    def __init__(self, binary, root, screens_dir, processes):
        self.root = root
        # The files a scenario works on; the program's home and folders lie beside it.
        self.files = os.path.join(root, "files")
        os.makedirs(self.files)
        self.home = os.path.join(root, "home")
        self.data_home = os.path.join(self.home, ".local", "share")
        runtime = os.path.join(root, "runtime")
        tmp = os.path.join(root, "tmp")
        for folder in (self.home, self.data_home, runtime, tmp):
            os.makedirs(folder, exist_ok=True)
        os.chmod(runtime, 0o700)
        self.processes = processes
        display = start_xvfb(processes, os.path.join(screens_dir, "xvfb.log"))
        self.screen = Screen(display, screens_dir)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": display,
            "HOME": self.home,
            "XDG_DATA_HOME": self.data_home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": runtime,
            "TMPDIR": tmp,
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb",
            # The control positions below are taken with Qt's own style at scale 1.
            "QT_STYLE_OVERRIDE": "Fusion",
            "QT_SCALE_FACTOR": "1",
            "QT_ENABLE_HIGHDPI_SCALING": "0",
            # No session bus: the program must not reach the user's desktop.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(runtime, "no-bus"),
        }
        self.log_path = os.path.join(screens_dir, "quillmere.log")
        self.log = open(self.log_path, "wb")
        self.process = processes.start([binary], env=env, cwd=self.home, stdout=self.log,
                                       stderr=subprocess.STDOUT)
        self.window = Window(self.screen, self.find_window())
        self.pages = Pages(self.window)

    def find_window(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            check(self.process.poll() is None,
                  "quillmere ended at start-up with status %s (see %s)" % (self.process.returncode, self.log_path))
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Quillmere$"],
                                   env=self.screen.env, capture_output=True, timeout=10)
            ids = found.stdout.decode().split()
            if ids:
                check(len(ids) == 1, "more than one visible window is called Quillmere: %s" % ids)
                time.sleep(0.5)  # let the first paint land
                return ids[0]
            time.sleep(0.2)
        raise Failure("the Quillmere window did not show within 30 s")

    def wait_exit(self, timeout=15):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("quillmere was still running %d s after Exit" % timeout)

    @property
    def trash_files(self):
        return os.path.join(self.data_home, "Trash", "files")

    @property
    def trash_info(self):
        return os.path.join(self.data_home, "Trash", "info")


# ---- file fixtures -------------------------------------------------------------------

def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def snapshot(folder):
    """Every regular file under a folder with its checksum."""
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            if os.path.isfile(path) and not os.path.islink(path):
                files[path] = sha256(path)
    return files


def write_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as handle:
        handle.write(data)


def make_jpeg(path, look, size=None):
    """A real JPEG picture drawn by ImageMagick; padded after its end marker
    to exactly `size` bytes when given (decoders stop at the end marker)."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["convert", "-size", "160x120"] + look + ["-quality", "85", "jpg:" + path],
                   check=True, capture_output=True, timeout=30)
    if size is not None:
        length = os.path.getsize(path)
        check(length <= size, "the picture %s is %d bytes, more than the %d wanted" % (path, length, size))
        with open(path, "ab") as handle:
            handle.write(bytes((i * 7 + 3) % 251 for i in range(size - length)))
    with open(path, "rb") as handle:
        return handle.read()


def copy_to(data, *paths):
    for path in paths:
        write_file(path, data)


def trashed_entries(program):
    """Original path -> path inside the trash, read from the .trashinfo files."""
    entries = {}
    if not os.path.isdir(program.trash_info):
        return entries
    for info_name in os.listdir(program.trash_info):
        check(info_name.endswith(".trashinfo"), "unexpected file %s in the trash's info folder" % info_name)
        with open(os.path.join(program.trash_info, info_name), encoding="utf-8") as handle:
            lines = handle.read().splitlines()
        check(lines and lines[0] == "[Trash Info]", "%s does not start with [Trash Info]" % info_name)
        paths = [line[len("Path="):] for line in lines if line.startswith("Path=")]
        check(len(paths) == 1, "%s has no single Path= line" % info_name)
        check(any(line.startswith("DeletionDate=") for line in lines), "%s has no DeletionDate" % info_name)
        stored = os.path.join(program.trash_files, info_name[:-len(".trashinfo")])
        check(os.path.lexists(stored), "%s names %s, which is not in the trash" % (info_name, stored))
        entries[urllib.parse.unquote(paths[0])] = stored
    return entries


def trash_is_empty(program):
    for folder in (program.trash_files, program.trash_info):
        if os.path.isdir(folder) and os.listdir(folder):
            return False
    return True


RECYCLE_HEADING = "Next files removed to the Recycle bin:"
HARD_DRIVE_HEADING = "Next files removed from the Hard drive:"


def expect_report(window, heading, paths, ordered):
    lines = window.report_lines()
    if lines is None:
        print("note: xclip is not installed; the report's text is not checked")
        return
    check(lines and lines[0] == heading, "the report should start with %r; it reads %r" % (heading, lines[:3]))
    check(len(lines) >= 3 and lines[-2] == "" and lines[-1].startswith("Space freed"),
          "the report should end with the space freed; it ends %r" % lines[-2:])
    lines = lines[:-2]
    listed = lines[1:] if ordered else sorted(lines[1:])
    wanted = list(paths) if ordered else sorted(paths)
    check(listed == wanted, "the report should list %s; it lists %s" % (wanted, lines[1:]))


def removed_leaving_one_of_each(sets, after):
    """The files of `sets` missing from the snapshot `after`, checking that
    exactly one copy of each set is left."""
    removed = set()
    for members in sets:
        left = [path for path in members if path in after]
        check(len(left) == 1, "exactly one copy of %s should be left; left: %s" % (members, left))
        removed.update(path for path in members if path not in after)
    return removed


def expect_unchanged(before, after, removed, what):
    for path, digest in before.items():
        if path in removed:
            check(path not in after, "%s: %s should be gone but is still there" % (what, path))
            continue
        check(path in after, "%s: %s should be untouched but is gone" % (what, path))
        check(after[path] == digest, "%s: %s changed its content" % (what, path))
    extra = sorted(set(after) - set(before))
    check(not extra, "%s: new files appeared: %s" % (what, extra[:5]))


def expect_overwritten(handle, original):
    """The data of a removed file, still readable through a handle opened
    before the removal, holds the overwrite: same length, other bytes, and one
    4096-byte block repeated from offset 0 over the whole length."""
    handle.seek(0)
    data = handle.read()
    check(len(data) == len(original), "the overwritten file changed its length from %d to %d"
          % (len(original), len(data)))
    check(data != original, "the removed file's bytes were not overwritten")
    block = data[:4096]
    for offset in range(0, len(data), 4096):
        check(data[offset:offset + 4096] == block[:len(data) - offset],
              "the overwritten bytes do not repeat one 4096-byte block (offset %d)" % offset)
    check(len(set(block)) > 16, "the overwrite block is not made of varied bytes")


# ---- scenarios -------------------------------------------------------------------

def run_search(program, folder):
    window, pages = program.window, program.pages
    pages.learn(0)
    program.screen.screenshot("options")
    window.set_start_folder(folder)
    program.screen.screenshot("options-folder-typed")
    window.press_start()
    window.wait_settled("search of " + folder)
    pages.expect(1, "Start")
    program.screen.screenshot("found")


def scenario_trash_select_all(program):
    """A folder of JPEG duplicates, Select All, removal to the trash, Exit."""
    pics = os.path.join(program.files, "pictures")
    outside = os.path.join(program.files, "elsewhere")
    red = make_jpeg(os.path.join(pics, "red.jpg"), ["gradient:red-blue"])
    copy_to(red, os.path.join(pics, "sub", "red copy.jpg"), os.path.join(pics, "sub", "deeper", "red.jpg"))
    green = make_jpeg(os.path.join(pics, "green.jpg"), ["gradient:green-yellow"])
    copy_to(green, os.path.join(pics, "GREEN-2.JPG"))
    make_jpeg(os.path.join(pics, "single.jpg"), ["plasma:fractal", "-seed", "7"])
    # Not candidates: identical files of 100 bytes or less, identical files
    # of another kind, and copies outside the chosen folder.
    copy_to(b"J" * 100, os.path.join(pics, "tiny1.jpg"), os.path.join(pics, "tiny2.jpg"))
    copy_to(red, os.path.join(pics, "red.png"), os.path.join(pics, "red2.png"), os.path.join(outside, "red.jpg"))
    duplicates = [os.path.join(pics, "red.jpg"), os.path.join(pics, "sub", "red copy.jpg"),
                  os.path.join(pics, "sub", "deeper", "red.jpg"),
                  os.path.join(pics, "green.jpg"), os.path.join(pics, "GREEN-2.JPG")]
    before = snapshot(program.files)

    run_search(program, pics)
    window, pages = program.window, program.pages
    window.press_select_all()
    program.screen.screenshot("found-all-marked")
    window.press_next()
    pages.expect(2, "Next")
    program.screen.screenshot("removal")
    window.press_delete()
    # Every copy of both sets is marked: the program asks first, and Alt+R
    # answers "Remove All Copies".
    time.sleep(1.0)
    program.screen.screenshot("question")
    program.screen.key("alt+r")
    window.wait_settled("removal to the trash")
    pages.expect(3, "Delete")
    program.screen.screenshot("report")
    expect_report(window, RECYCLE_HEADING, duplicates, ordered=False)

    after = snapshot(program.files)
    trashed = trashed_entries(program)
    check(sorted(trashed) == sorted(duplicates),
          "the trash should hold exactly the five copies; it holds %s" % sorted(trashed))
    for original, stored in trashed.items():
        check(sha256(stored) == before[original], "the trashed %s lost its content" % original)
    expect_unchanged(before, after, set(duplicates), "removal to the trash")

    window.press_exit()
    status = program.wait_exit()
    check(status == 0, "Exit ended quillmere with status %d" % status)


def scenario_overwrite_single_marks(program):
    """Single marks in the Delete column and "Delete from hard drive"."""
    pics = os.path.join(program.files, "pictures")
    # Three sets of identical files, one size per set, chosen so that the
    # byte counts and the shown sizes (12 KB, 20 KB, 28 KB) sort alike: the
    # table then holds set A in rows 0-1, set B in rows 2-4, set C in rows 5-6.
    a = make_jpeg(os.path.join(pics, "a1.jpg"), ["gradient:red-blue"], size=12288)
    copy_to(a, os.path.join(pics, "deeper", "a2.jpg"))
    b = make_jpeg(os.path.join(pics, "b1.jpg"), ["gradient:green-yellow"], size=20480)
    copy_to(b, os.path.join(pics, "b2.jpg"), os.path.join(pics, "deeper", "b3.jpg"))
    c = make_jpeg(os.path.join(pics, "c1.jpg"), ["gradient:black-white"], size=28672)
    copy_to(c, os.path.join(pics, "c2.jpg"))
    make_jpeg(os.path.join(pics, "single.jpg"), ["plasma:fractal", "-seed", "3"])
    set_a = [os.path.join(pics, "a1.jpg"), os.path.join(pics, "deeper", "a2.jpg")]
    set_b = [os.path.join(pics, "b1.jpg"), os.path.join(pics, "b2.jpg"), os.path.join(pics, "deeper", "b3.jpg")]
    # An open handle on every copy of sets A and B keeps the data of a removed
    # copy readable after its name is gone, so the overwrite can be looked at.
    # (A second hard link would not do: a file with other names is shared and
    # the program leaves it alone.)
    handles = {path: open(path, "rb") for path in set_a + set_b}
    contents = {path: a for path in set_a}
    contents.update({path: b for path in set_b})
    before = snapshot(program.files)

    run_search(program, pics)
    window, pages = program.window, program.pages
    window.toggle_row(0)
    window.toggle_row(3)
    program.screen.screenshot("found-rows-0-and-3-marked")
    window.press_next()
    pages.expect(2, "Next")
    window.choose_hard_drive()
    program.screen.screenshot("removal-hard-drive")
    window.press_delete()
    window.confirm_hard_drive()
    window.wait_settled("overwrite and delete")
    pages.expect(3, "Delete")
    program.screen.screenshot("report")

    after = snapshot(program.files)
    gone_a = [p for p in set_a if p not in after]
    gone_b = [p for p in set_b if p not in after]
    check(len(gone_a) == 1, "row 0 holds a copy of the 12 KB set, so exactly one of %s should be gone; gone: %s"
          % (set_a, gone_a))
    check(len(gone_b) == 1, "row 3 holds a copy of the 20 KB set, so exactly one of %s should be gone; gone: %s"
          % (set_b, gone_b))
    check(trash_is_empty(program), "\"Delete from hard drive\" put something into the trash")
    # Rows are handled in order: the copy of row 0 first, then that of row 3.
    expect_report(window, HARD_DRIVE_HEADING, gone_a + gone_b, ordered=True)
    removed = set(gone_a + gone_b)
    for path in removed:
        expect_overwritten(handles[path], contents[path])
    for handle in handles.values():
        handle.close()
    expect_unchanged(before, after, removed, "overwrite and delete")

    window.press_exit()
    check(program.wait_exit() == 0, "Exit ended quillmere with a non-zero status")


def atime_marks_reads(root):
    """Whether reading a file whose access time lies before its modification
    time moves the access time here (relatime and strictatime do; noatime
    does not)."""
    probe = os.path.join(root, "atime-probe")
    write_file(probe, b"p" * 200)
    stat = os.stat(probe)
    os.utime(probe, ns=(stat.st_mtime_ns - 3600 * 10**9, stat.st_mtime_ns))
    with open(probe, "rb") as handle:
        handle.read()
    moved = os.stat(probe).st_atime_ns >= stat.st_mtime_ns
    os.unlink(probe)
    return moved


def scenario_stop_listing(program):
    """Stop pressed while a big tree is listed ends the listing; nothing is removed."""
    tree = os.path.join(program.files, "tree")
    # 80000 folders, which take the listing a second or more even at the
    # command line's pace, a small file in every fourth, and one copy of the
    # same 300-byte file in each of the 200 top folders: the copies are
    # compared with their neighbours once listed.
    top_folders, leaf_folders = 200, 400
    copy = bytes(range(256)) + b"q" * 44
    copies = []
    for t in range(top_folders):
        folder = os.path.join(tree, "t%03d" % t)
        for leaf in range(leaf_folders):
            leaf_folder = os.path.join(folder, "l%03d" % leaf)
            os.makedirs(leaf_folder)
            if leaf % 4 == 0:
                with open(os.path.join(leaf_folder, "small.jpg"), "wb") as handle:
                    handle.write(b"%d/%d" % (t, leaf))
        path = os.path.join(folder, "copy.jpg")
        write_file(path, copy)
        copies.append(path)
    reads_show = atime_marks_reads(program.root)
    before = snapshot(program.files)
    # With the access times put before the modification times, the first
    # read of a copy by the comparison moves its access time.
    for path in copies:
        stat = os.stat(path)
        os.utime(path, ns=(stat.st_mtime_ns - 3600 * 10**9, stat.st_mtime_ns))
    read_before = {path: os.stat(path).st_atime_ns for path in copies}

    window, pages = program.window, program.pages
    pages.learn(0)
    window.set_start_folder(tree)
    window.press_start()
    time.sleep(0.3)
    window.press_stop()
    program.screen.screenshot("found-after-stop-pressed")
    window.wait_settled("the search after Stop", timeout=60)
    pages.expect(1, "Stop")
    program.screen.screenshot("found-after-stop")

    if reads_show:
        compared = [path for path in copies if os.stat(path).st_atime_ns != read_before[path]]
        print("%d of %d copies were listed before Stop and compared" % (len(compared), len(copies)))
        check(len(compared) < len(copies),
              "all %d copies were compared: the listing ran to its end although Stop was pressed" % len(copies))
        # The stages after the listing still run over the paths listed so far.
        check(len(compared) >= 2, "only %d copies were compared after Stop; the copies listed before it "
              "should still have been compared" % len(compared))
    else:
        print("note: access times do not record reads here; the listing's early end is not checked")

    # The run ended before its first result row: marking everything and
    # removing must touch nothing.
    window.press_select_all()
    window.press_next()
    pages.expect(2, "Next")
    window.press_delete()
    window.wait_settled("removal after Stop")
    pages.expect(3, "Delete")
    program.screen.screenshot("report-after-stop")
    expect_report(window, RECYCLE_HEADING, [], ordered=True)
    check(trash_is_empty(program), "something was moved to the trash after the stopped search")
    expect_unchanged(before, snapshot(program.files), set(), "removal after a stopped search")

    window.press_exit()
    check(program.wait_exit() == 0, "Exit ended quillmere with a non-zero status")


def scenario_page_flow(program):
    """Back and forth through all four pages; only the last Delete removes a file."""
    pics = os.path.join(program.files, "pictures")
    red = make_jpeg(os.path.join(pics, "red1.jpg"), ["gradient:red-blue"])
    copy_to(red, os.path.join(pics, "red2.jpg"))
    green = make_jpeg(os.path.join(pics, "green1.jpg"), ["gradient:green-yellow"])
    copy_to(green, os.path.join(pics, "green2.jpg"))
    before = snapshot(program.files)
    window, pages, screen = program.window, program.pages, program.screen

    run_search(program, pics)
    window.press_select_all()
    window.press_next()
    pages.expect(2, "Next on the found page")
    window.press_back()
    pages.expect(1, "Back on the removal page")
    window.press_deselect_all()
    screen.screenshot("found-deselected")
    window.press_next()
    pages.expect(2, "Next on the found page")
    window.press_delete()
    window.wait_settled("removal of no marked file")
    pages.expect(3, "Delete")
    screen.screenshot("report-nothing-marked")
    expect_report(window, RECYCLE_HEADING, [], ordered=True)
    check(trash_is_empty(program), "Delete with no marked row put something into the trash")
    expect_unchanged(before, snapshot(program.files), set(), "Delete with no marked row")

    window.press_back()
    pages.expect(2, "Back on the report page")
    window.press_back()
    pages.expect(1, "Back on the removal page")
    window.press_invert()
    window.press_next()
    pages.expect(2, "Next on the found page")
    window.choose_hard_drive()
    window.press_back()
    pages.expect(1, "Back on the removal page")
    window.press_back()
    pages.expect(0, "Back on the found page")
    screen.screenshot("options-again")

    # A new search forgets the marks; the method chosen stays.
    window.press_start()
    window.wait_settled("second search")
    pages.expect(1, "Start")
    window.toggle_row(0)
    screen.screenshot("found-row-0-marked")
    window.press_next()
    pages.expect(2, "Next on the found page")
    window.press_delete()
    window.confirm_hard_drive()
    window.wait_settled("overwrite of one file")
    pages.expect(3, "Delete")
    screen.screenshot("report-one-removed")
    after = snapshot(program.files)
    gone = [p for p in before if p not in after]
    check(len(gone) == 1, "exactly one file should be gone after the last Delete; gone: %s" % gone)
    pair = [os.path.join(pics, "red1.jpg"), os.path.join(pics, "red2.jpg")]
    if gone[0] not in pair:
        pair = [os.path.join(pics, "green1.jpg"), os.path.join(pics, "green2.jpg")]
    check(gone[0] in pair, "the removed file %s is none of the copies" % gone[0])
    check(trash_is_empty(program), "the overwrite method put something into the trash")
    expect_report(window, HARD_DRIVE_HEADING, gone, ordered=True)
    expect_unchanged(before, after, set(gone), "removal of row 0")

    window.press_back()
    pages.expect(2, "Back on the report page")
    window.press_back()
    pages.expect(1, "Back on the removal page")
    window.press_back()
    pages.expect(0, "Back on the found page")
    window.press_start()
    window.wait_settled("third search")
    pages.expect(1, "Start")
    window.press_next()
    window.press_delete()
    window.wait_settled("removal with fresh, unmarked rows")
    pages.expect(3, "Delete")
    expect_unchanged(after, snapshot(program.files), set(), "Delete after a fresh search")
    window.press_exit()
    check(program.wait_exit() == 0, "Exit ended quillmere with a non-zero status")


def scenario_exit_status(program):
    """Through all pages with a folder of distinct pictures; Exit ends with status 0."""
    pics = os.path.join(program.files, "pictures")
    make_jpeg(os.path.join(pics, "one.jpg"), ["gradient:red-blue"])
    make_jpeg(os.path.join(pics, "two.jpg"), ["gradient:green-yellow"])
    before = snapshot(program.files)
    run_search(program, pics)
    window, pages = program.window, program.pages
    window.press_select_all()
    window.press_next()
    pages.expect(2, "Next")
    program.screen.screenshot("removal")
    window.press_delete()
    window.wait_settled("removal with an empty table")
    pages.expect(3, "Delete")
    program.screen.screenshot("report")
    expect_report(window, RECYCLE_HEADING, [], ordered=True)
    window.press_exit()
    status = program.wait_exit()
    check(status == 0, "Exit ended quillmere with status %d" % status)
    expect_unchanged(before, snapshot(program.files), set(), "a run without duplicates")


def make_picture(path, look, size, options=()):
    """A picture drawn by ImageMagick at `size` (WxH), in the format its
    extension names."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["convert"] + look + ["-resize", size + "!"] + list(options) + [path],
                   check=True, capture_output=True, timeout=60)
    return path


def make_similar_sets(program):
    """Three photos-to-be, each a large JPEG original with changed copies of
    it (smaller, re-encoded, converted, stripped of metadata), a picture unlike
    any other and a file that is no picture. Returns the folder, the sets
    (original first) and the files that belong to no set."""
    pics = os.path.join(program.files, "pictures")
    looks = {
        "logo": ["logo:"],
        "plasma": ["-seed", "5", "-size", "400x300", "plasma:fractal", "-blur", "0x2"],
        "shapes": ["-size", "1200x900", "gradient:navy-gold", "-fill", "white", "-draw", "circle 400,450 400,200",
                   "-fill", "black", "-draw", "rectangle 800,100 1100,400"],
    }
    sets = []
    for name, look in looks.items():
        original = make_picture(os.path.join(pics, name + ".jpg"), look, "1200x900", ["-quality", "95"])
        members = [original]
        members.append(make_picture(os.path.join(pics, "small", name + " small.jpg"), [original], "600x450",
                                    ["-quality", "85"]))
        members.append(make_picture(os.path.join(pics, "sent", name + " q55.jpg"), [original], "1200x900",
                                    ["-quality", "55"]))
        members.append(make_picture(os.path.join(pics, "converted", name + ".png"), [original], "800x600"))
        members.append(make_picture(os.path.join(pics, "stripped", name + ".jpg"), [original], "1000x750",
                                    ["-strip", "-quality", "90"]))
        sets.append(members)
    lonely = make_picture(os.path.join(pics, "lonely.jpg"), ["-size", "300x300", "radial-gradient:red-green",
                          "-fill", "blue", "-draw", "polygon 10,290 150,20 290,290"], "900x900")
    broken = os.path.join(pics, "broken.jpg")
    write_file(broken, b"\xff\xd8\xff\xe0 not a picture after all " * 40)
    return pics, sets, [lonely, broken]


def make_two_sets(program):
    """Two sets of identical JPEG files and a single one; returns the folder
    and the sets."""
    pics = os.path.join(program.files, "pictures")
    red = make_jpeg(os.path.join(pics, "red.jpg"), ["gradient:red-blue"])
    copy_to(red, os.path.join(pics, "sub", "red copy.jpg"), os.path.join(pics, "sub", "deeper", "red.jpg"))
    green = make_jpeg(os.path.join(pics, "green.jpg"), ["gradient:green-yellow"])
    copy_to(green, os.path.join(pics, "green 2.jpg"))
    make_jpeg(os.path.join(pics, "single.jpg"), ["plasma:fractal", "-seed", "7"])
    sets = [[os.path.join(pics, "red.jpg"), os.path.join(pics, "sub", "red copy.jpg"),
             os.path.join(pics, "sub", "deeper", "red.jpg")],
            [os.path.join(pics, "green.jpg"), os.path.join(pics, "green 2.jpg")]]
    return pics, sets


def search_and_keep_one(program):
    """Two sets and a single picture, searched, Ctrl+K, then Next: returns
    the sets and the files before anything was removed."""
    pics, sets = make_two_sets(program)
    before = snapshot(program.files)
    run_search(program, pics)
    program.screen.key("ctrl+k")
    time.sleep(0.5)
    program.screen.screenshot("found-keep-one")
    program.window.press_next()
    program.pages.expect(2, "Next")
    return sets, before


def scenario_every_copy_question(program):
    """Select All and Delete ask before every copy goes; Escape cancels and
    leaves every file where it was."""
    pics, _ = make_two_sets(program)
    before = snapshot(program.files)
    run_search(program, pics)
    window, pages = program.window, program.pages
    window.press_select_all()
    window.press_next()
    pages.expect(2, "Next")
    window.choose_hard_drive()
    window.press_delete()
    time.sleep(1.0)
    program.screen.screenshot("question")
    program.screen.key("Escape")
    time.sleep(1.0)
    pages.expect(2, "Escape on the question")
    program.screen.screenshot("removal-after-escape")
    expect_unchanged(before, snapshot(program.files), set(), "cancelled question")
    check(trash_is_empty(program), "a cancelled question put something into the trash")
    window.press_back()
    pages.expect(1, "Back")
    window.press_back()
    pages.expect(0, "Back")


def expect_one_copy_left_by_the_trash(program, sets, before, what):
    """One copy of each set stays, the trash holds exactly the others and
    nothing else changed; returns the removed paths."""
    after = snapshot(program.files)
    removed = removed_leaving_one_of_each(sets, after)
    trashed = trashed_entries(program)
    check(sorted(trashed) == sorted(removed), "the trash should hold %s; it holds %s" % (sorted(removed), sorted(trashed)))
    expect_unchanged(before, after, removed, what)
    return removed


def scenario_keep_one_trash(program):
    """Ctrl+K marks all but one copy of each set; the trash then leaves
    exactly one copy per set, with no question asked."""
    sets, before = search_and_keep_one(program)
    window, pages = program.window, program.pages
    window.press_delete()
    window.wait_settled("removal to the trash")
    pages.expect(3, "Delete without a question")
    program.screen.screenshot("report")
    removed = expect_one_copy_left_by_the_trash(program, sets, before, "keep one, then the trash")
    expect_report(window, RECYCLE_HEADING, sorted(removed), ordered=False)


def scenario_similar_keep_one_trash(program):
    """A "Similar pictures" search over originals and their changed copies,
    Keep One, the trash: exactly each set's best copy (its large original) is
    left, every other copy is in the trash, and nothing else is touched."""
    pics, sets, others = make_similar_sets(program)
    before = snapshot(program.files)
    window, pages, screen = program.window, program.pages, program.screen
    pages.learn(0)
    window.set_start_folder(pics)
    window.choose_all_pictures()
    window.choose_similar_pictures()
    screen.screenshot("options-similar")
    window.press_start()
    window.wait_settled("similar search of " + pics)
    pages.expect(1, "Start")
    screen.screenshot("found-similar")
    # Sorted by path, each set's converted copy comes before its original:
    # Keep One still keeps the original, the best copy.
    window.click_header(DEST_COLUMN)
    time.sleep(0.5)
    screen.screenshot("found-similar-by-path")
    screen.key("ctrl+k")
    time.sleep(0.5)
    screen.screenshot("found-keep-one")
    window.press_next()
    pages.expect(2, "Next")
    window.press_delete()
    window.wait_settled("removal to the trash")
    pages.expect(3, "Delete without a question")
    screen.screenshot("report")

    after = snapshot(program.files)
    removed = set()
    for members in sets:
        left = [path for path in members if path in after]
        check(left == [members[0]], "only the best copy %s should be left of its set; left: %s" % (members[0], left))
        removed.update(members[1:])
    trashed = trashed_entries(program)
    check(sorted(trashed) == sorted(removed), "the trash should hold %s; it holds %s" % (sorted(removed), sorted(trashed)))
    for path in others:
        check(path in after, "%s, in no set, is gone" % path)
    expect_unchanged(before, after, removed, "keep one of similar pictures, then the trash")
    lines = window.report_lines()
    if lines is None:
        print("note: xclip is not installed; the report's text is not checked")
    else:
        check(lines and lines[0] == RECYCLE_HEADING, "the report should start with %r; it reads %r"
              % (RECYCLE_HEADING, lines[:3]))
        missing = sorted(path for path in removed if path not in lines)
        check(not missing, "the report does not list %s" % missing)


def scenario_method_change_mid_pass(program):
    """Delete from the hard drive, then, while the pass runs, Back, "Delete to
    the Recycle bin" and Delete again: the pass keeps to the overwrite, Delete
    only leads back to its report, and the report lists every file it
    removed."""
    pics = os.path.join(program.files, "pictures")
    base = make_jpeg(os.path.join(pics, "base.jpg"), ["gradient:red-blue"], size=8188)
    os.unlink(os.path.join(pics, "base.jpg"))
    # Enough files that the pass, three flushed writes over each, is still
    # running after a few clicks, also on a busy machine.
    pairs = 2500
    sets = []
    for number in range(pairs):
        data = base + number.to_bytes(4, "big")
        members = [os.path.join(pics, "a", "%04d.jpg" % number), os.path.join(pics, "b", "%04d.jpg" % number)]
        copy_to(data, *members)
        sets.append(members)
    before = snapshot(program.files)

    run_search(program, pics)
    window, pages = program.window, program.pages
    program.screen.key("ctrl+k")
    time.sleep(0.5)
    window.press_next()
    pages.expect(2, "Next")
    window.choose_hard_drive()
    # Clicks only, with no slow look at the screen in between once the
    # question is answered.
    window.press_delete()
    window.confirm_hard_drive()
    window.press_back()
    window.click_at(RADIO_RECYCLE_BIN[0] + 7, RADIO_RECYCLE_BIN[1] + 8)
    left_then = sum(1 for members in sets for path in members if os.path.exists(path))
    print("%d of %d marked files were still there when the method changed" % (left_then - pairs, pairs))
    check(left_then > pairs, "the removal was over before Back was pressed; the scenario needs more files")
    pages.expect(2, "Back during the removal")
    program.screen.screenshot("removal-recycle-bin-mid-pass")
    window.press_delete()
    pages.expect(3, "Delete during the removal")
    window.wait_settled("the rest of the removal", timeout=90)
    program.screen.screenshot("report")

    after = snapshot(program.files)
    removed = removed_leaving_one_of_each(sets, after)
    check(trash_is_empty(program), "the removal started as \"Delete from hard drive\" put files into the trash")
    expect_unchanged(before, after, removed, "a method changed during the removal")
    expect_report(window, HARD_DRIVE_HEADING, sorted(removed), ordered=False)


def scenario_hard_links(program):
    """Ctrl+K and "Replace with hard links": every path stays, with its
    content, and each set's copies become one file."""
    sets, before = search_and_keep_one(program)
    window, pages = program.window, program.pages
    window.choose_hard_links()
    program.screen.screenshot("removal-hard-links")
    window.press_delete()
    window.wait_settled("replacement by hard links")
    pages.expect(3, "Delete without a question")
    program.screen.screenshot("report")
    expect_unchanged(before, snapshot(program.files), set(), "replacement by hard links")
    for members in sets:
        inodes = set(os.stat(path).st_ino for path in members)
        check(len(inodes) == 1, "the copies %s should be one file now; they are %d" % (members, len(inodes)))
    check(trash_is_empty(program), "replacing by hard links put something into the trash")
    lines = window.report_lines()
    if lines is not None:
        check(lines[0] == "Next files replaced by links to the copy kept:", "the report starts %r" % lines[:1])
        check(sum(1 for line in lines if " \u2014 replaced by a link to " in line) == 3,
              "the report should list three replaced files: %r" % lines)
        check(lines[-1].startswith("Space freed: "), "the report ends %r" % lines[-1:])


def scenario_protected_select_all_trash(program):
    """A protected folder, named through a link to it, then Select All and
    Delete to the trash: every copy outside it goes with no question, since
    the protected copies stay, and the protected files are left untouched."""
    pics = os.path.join(program.files, "pictures")
    archive = os.path.join(pics, "archive")
    red = make_jpeg(os.path.join(archive, "red.jpg"), ["gradient:red-blue"])
    copy_to(red, os.path.join(pics, "red copy.jpg"), os.path.join(pics, "new", "red.jpg"))
    green = make_jpeg(os.path.join(archive, "old", "green.jpg"), ["gradient:green-yellow"])
    copy_to(green, os.path.join(pics, "green 2.jpg"))
    link = os.path.join(program.files, "archive link")
    os.symlink(archive, link)
    protected = [os.path.join(archive, "red.jpg"), os.path.join(archive, "old", "green.jpg")]
    others = [os.path.join(pics, "red copy.jpg"), os.path.join(pics, "new", "red.jpg"),
              os.path.join(pics, "green 2.jpg")]
    before = snapshot(program.files)

    window, pages = program.window, program.pages
    window.add_protected_folder(link)
    program.screen.screenshot("options-protected")
    run_search(program, pics)
    window.press_select_all()
    program.screen.screenshot("found-all-marked-but-protected")
    window.press_next()
    pages.expect(2, "Next")
    window.press_delete()
    window.wait_settled("removal to the trash")
    pages.expect(3, "Delete without a question")
    program.screen.screenshot("report")
    expect_report(window, RECYCLE_HEADING, others, ordered=False)

    after = snapshot(program.files)
    trashed = trashed_entries(program)
    check(sorted(trashed) == sorted(others), "the trash should hold %s; it holds %s" % (sorted(others), sorted(trashed)))
    expect_unchanged(before, after, set(others), "Select All with a protected folder, then the trash")
    for path in protected:
        check(path in after, "the protected %s was removed" % path)


def scenario_keyboard_only(program):
    """From the folder field to the report by keys alone: Return searches,
    Ctrl+K keeps one copy of each set, Tab and Space reach Next and Delete,
    and the trash then leaves exactly one copy per set."""
    pics, sets = make_two_sets(program)
    before = snapshot(program.files)
    window, pages = program.window, program.pages
    pages.learn(0)
    window.set_start_folder(pics)  # the one click: into the folder field
    program.screen.key("Return")
    window.wait_settled("search started by Return")
    pages.expect(1, "Return in the folder field")
    program.screen.screenshot("found")
    program.screen.key("ctrl+k")
    time.sleep(0.5)
    # The table has the keyboard; Tab goes Deselect All, Select All, Invert, Next.
    program.screen.key("Tab", "Tab", "Tab", "Tab", "space")
    time.sleep(1.0)
    pages.expect(2, "Space on Next")
    program.screen.screenshot("removal")
    # The chosen method has the keyboard; Tab leaves the methods for Delete.
    program.screen.key("Tab", "space")
    window.wait_settled("removal to the trash by keys")
    pages.expect(3, "Space on Delete")
    program.screen.screenshot("report")
    expect_one_copy_left_by_the_trash(program, sets, before, "a removal by keys")
    # Exit has the keyboard on the report page.
    program.screen.key("space")
    status = program.wait_exit()
    check(status == 0, "Space on Exit ended quillmere with status %d" % status)


SCENARIOS = {
    "keyboard_only": scenario_keyboard_only,
    "hard_links": scenario_hard_links,
    "protected_select_all_trash": scenario_protected_select_all_trash,
    "every_copy_question": scenario_every_copy_question,
    "keep_one_trash": scenario_keep_one_trash,
    "similar_keep_one_trash": scenario_similar_keep_one_trash,
    "trash_select_all": scenario_trash_select_all,
    "overwrite_single_marks": scenario_overwrite_single_marks,
    "stop_listing": scenario_stop_listing,
    "page_flow": scenario_page_flow,
    "exit_status": scenario_exit_status,
    "method_change_mid_pass": scenario_method_change_mid_pass,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--screens", required=True)
    parser.add_argument("--scenario", required=True, choices=sorted(SCENARIOS))
    args = parser.parse_args()

    missing = [tool for tool in ("Xvfb", "xdotool", "import", "convert") if shutil.which(tool) is None]
    if missing:
        print("skipped: %s not installed (scripts/install-deps.sh installs them)" % ", ".join(missing))
        return SKIP

    def out_of_time(signum, frame):
        raise OutOfTime()

    def terminated(signum, frame):
        raise Failure("terminated by signal %d" % signum)

    signal.signal(signal.SIGALRM, out_of_time)
    signal.signal(signal.SIGTERM, terminated)
    signal.signal(signal.SIGINT, terminated)
    signal.alarm(OVERALL_SECONDS)

    shutil.rmtree(args.screens, ignore_errors=True)
    os.makedirs(args.screens)
    processes = Processes()
    root = tempfile.mkdtemp(prefix="quillmere-accept-")
    program = None
    started = time.monotonic()
    try:
        program = Program(os.path.abspath(args.program), root, args.screens, processes)
        SCENARIOS[args.scenario](program)
        print("%s passed in %.1f s; screenshots in %s" % (args.scenario, time.monotonic() - started, args.screens))
        return 0
    except OutOfTime:
        message = "did not finish within %d s" % OVERALL_SECONDS
    except Failure as failure:
        message = str(failure)
    except (subprocess.SubprocessError, OSError) as error:
        message = "%s: %s" % (type(error).__name__, error)
    finally:
        signal.alarm(0)
        if program is not None and program.process.poll() is None:
            try:
                program.screen.screenshot("at-end")
            except Exception:
                pass
        processes.end_all()
        shutil.rmtree(root, ignore_errors=True)
    print("FAILED %s: %s\nscreenshots and logs: %s" % (args.scenario, message, args.screens))
    return 1


if __name__ == "__main__":
    sys.exit(main())
