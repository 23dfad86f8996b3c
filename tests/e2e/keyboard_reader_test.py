#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# The real program as a keyboard and screen-reader user meets it: an X server
# of its own with a window manager, keys typed through the X server, files
# dragged from another program, the windows read through the accessibility
# bus. Usage: keyboard_reader_test.py PARVOX
import ctypes, hashlib, os, pathlib, pty, re, signal, subprocess, sys, tempfile, threading, time

if sys.argv[2:3] == ['drag']:  # the other program: offers files at the screen's corner, fails if refused
    import gi
    gi.require_version('Gtk', '3.0'), gi.require_version('Gdk', '3.0')
    from gi.repository import Gdk, Gtk
    window, area, failed = Gtk.Window(type=Gtk.WindowType.POPUP), Gtk.EventBox(), []
    window.add(area), window.set_default_size(60, 60), window.connect('map-event', lambda *_: print(flush=True))
    area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY), area.drag_source_add_uri_targets()
    area.connect('drag-data-get', lambda _widget, _context, data, *_: data.set_uris(sys.argv[3:]))
    area.connect('drag-failed', lambda *_: failed.append(True)), area.connect('drag-end', lambda *_: Gtk.main_quit())
    window.show_all(), Gtk.main()
    sys.exit(len(failed))

PARVOX = os.path.abspath(sys.argv[1])
MAIN, SPLIT, JOIN, COMPARE, CHECKSUM, ABOUT = ('Parvox 2.3 for Linux', 'File Split', 'File Join',
                                              'File compare', 'File checksum', 'Version 2.3 for Linux')


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def wait(probe, expected, what, timeout=15):
    deadline = time.monotonic() + timeout
    while (found := probe()) != expected:
        if time.monotonic() > deadline:
            raise AssertionError(f'{what}: expected {expected!r}, found {found!r}')
        time.sleep(0.1)


if len(sys.argv) == 2:  # first the X server and the window manager, then the rest on a session bus
    with tempfile.TemporaryDirectory() as work:
        os.environ['XDG_RUNTIME_DIR'] = work  # where the accessibility bus puts its socket
        os.environ['XDG_CONFIG_HOME'] = work  # the program's settings, not the user's
        read, write = os.pipe()
        xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1280x1024x24',
                                 '-nolisten', 'tcp'], pass_fds=[write])
        os.environ['DISPLAY'] = ':' + os.fdopen(read).readline().strip()
        wm = subprocess.Popen(['openbox'], stderr=subprocess.DEVNULL)
        try:
            wait(lambda: 'window id' in run('xprop', '-root', '_NET_SUPPORTING_WM_CHECK'), True, 'openbox')
            sys.exit(subprocess.run(['dbus-run-session', '--', sys.executable, __file__, PARVOX, work]).returncode)
        finally:
            wm.terminate(), xvfb.terminate(), wm.wait(), xvfb.wait()

import pyatspi  # noqa: E402 (it needs the display and the session bus)

pyatspi.Registry.getDesktop(0)  # starts the accessibility bus before the program looks for it
terminal, stderr = pty.openpty()  # the size box beeps on a terminal
program = subprocess.Popen([PARVOX], stderr=stderr, env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'))
output = bytearray()


def read_output():
    while True:
        output.extend(os.read(terminal, 1024))


threading.Thread(target=read_output, daemon=True).start()


def windows(state):
    app = next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name == 'parvox'), [])
    return [w for w in app if w and w.getState().contains(state)]


def shown():  # the program's windows on the screen
    return run('xdotool', 'search', '--onlyvisible', '--class', '^parvox$').split()


def popups():  # shown windows of the program that no reader sees: the file dialog's completion list
    return len(shown()) - len(windows(pyatspi.STATE_SHOWING))


def active():
    """The window that has the keyboard, by its title label, or by its text for a message box."""
    if run('xdotool', 'getwindowfocus') not in shown() or not windows(pyatspi.STATE_ACTIVE):
        return 'keys going to no window of the program'
    window = windows(pyatspi.STATE_ACTIVE)[0]
    texts = [child.name for child in window]
    if window.getRoleName() == 'alert':
        return 'box: ' + max(texts, key=len)
    return next((t for t in texts if t in (SPLIT, JOIN, COMPARE, CHECKSUM, ABOUT)), window.name)


def find(test):
    for window in windows(pyatspi.STATE_ACTIVE):
        return pyatspi.utils.findDescendant(window, test)


def control(name, role=None):
    """The control of the active window that reads name: its role, description, height, itself."""
    acc = find(lambda a: a.name == name and role in (None, a.getRoleName()))
    return (acc.getRoleName(), acc.description, acc.queryComponent().getExtents(0).height, acc) if acc else [None] * 4


def focused():
    return getattr(find(lambda a: a.getState().contains(pyatspi.STATE_FOCUSED)), 'name', None)


def key(*keys, then=None, what=''):
    run('xdotool', 'key', '--delay', '40', *keys)
    if then:
        wait(active, then, f'window after {" ".join(keys)} {what}')


def pick(keys, title, path, back, popup=True):
    key(*keys, then=title, what='(file dialog)')
    run('xdotool', 'type', '--delay', '20', path)
    if popup:  # the completion list takes the keyboard while it is open
        wait(popups, 1, f'completion list while typing {path}')
    key('Return')
    wait(popups, 0, 'completion list after the file dialog closed')
    wait(active, back, 'window after the file dialog closed')


def answer(text, back):
    wait(active, 'box: ' + text, 'message')
    key('Return', then=back, what='(message answered)')


def file_label(path):
    """A file label reads the file it shows and says what a click on it does."""
    wait(lambda: control(path)[0], 'push button', f'control reading {path}')
    description, height = control(path)[1:3]
    assert 'click' in description, f'{path}: expected what a click does, found {description!r}'
    return height


def wm(prop):  # a property of the window that has the keyboard, as the window manager reads it
    return run('xprop', '-id', run('xdotool', 'getwindowfocus'), prop)


class CursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short)] + \
        [(n, ctypes.c_ushort) for n in ('width', 'height', 'xhot', 'yhot')] + \
        [('serial', ctypes.c_ulong), ('pixels', ctypes.c_void_p), ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]


def cursor_over(acc):
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    # Three quarters across and down: the About title lies over the picture's left part.
    run('xdotool', 'mousemove', str(box.x + box.width * 3 // 4), str(box.y + box.height * 3 // 4))
    time.sleep(0.3)  # for the program to set the cursor of what lies under the pointer
    x11, fixes = ctypes.CDLL('libX11.so.6'), ctypes.CDLL('libXfixes.so.3')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    fixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    display = ctypes.c_void_p(x11.XOpenDisplay(None))
    name = fixes.XFixesGetCursorImage(display).contents.name
    x11.XCloseDisplay(display)
    return name.decode()


def drag(paths, via, onto):
    """Whether paths, dragged from another program over via, are taken on onto."""
    other = subprocess.Popen([sys.executable, __file__, PARVOX, 'drag'] + [pathlib.Path(p).as_uri() for p in paths],
                             stdout=subprocess.PIPE, env=dict(os.environ, NO_AT_BRIDGE='1'))
    other.stdout.readline()
    middles = [(str(b.x + b.width // 2), str(b.y + b.height // 2))
               for b in (acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS) for acc in (via, onto))]
    for step in [('mousemove', '20', '20', 'mousedown', '1'), ('mousemove', '50', '50')] + \
            [('mousemove', *middle) for middle in middles] + [('mouseup', '1')]:
        run('xdotool', *step), time.sleep(0.3)
    return other.wait(15) == 0


def rows():  # the files that the active window shows, from the top
    found = pyatspi.utils.findAllDescendants(windows(pyatspi.STATE_ACTIVE)[0], lambda a: a.name.startswith(source))
    return [a.name for a in sorted(found, key=lambda a: a.queryComponent().getExtents(0).y)]


source = os.path.join(sys.argv[2], 'gypsy_pqj.txt')
with open(source, 'wb') as f:
    f.write(b'abc')
try:
    # The main window starts on Split, and Enter opens it. The size box,
    # focused first, rings the bell for Enter and Escape, which do nothing else.
    wait(lambda: (active(), focused()), (MAIN, 'Split'), 'first focus')
    key('Return', then=SPLIT, what='right after start-up')
    key('Return', 'Escape', 'KP_Enter')
    wait(lambda: output.count(b'\a'), 3, 'bells for Enter, Escape and keypad Enter in the size box')
    wait(lambda: (active(), control('Split file size', 'text')[3].queryText().getText(0, -1)), (SPLIT, '1400'),
         'window and size box after Enter and Escape')
    pick(['f'], 'Open', source, SPLIT)
    file_label(source)
    key('s'), answer(f'Splitting completed\n1 piece and gypsy_pqj.txt.sha256 in {sys.argv[2]}.', SPLIT)
    key('c', then=MAIN)
    for button in ('Join', 'Compare', 'Checksum', 'About', 'Exit'):
        key('Tab'), wait(focused, button, 'Tab order of the main window')

    # The error box's title bar reads nothing.
    key('j', then=JOIN)
    pick(['f'], 'Select the first input file', source, 'box: Invalid file name, should have extension .001.',
         popup=False)
    wait(lambda: re.findall('= "(.+)"', wm('_NET_WM_NAME') + wm('WM_NAME')), [], 'title of the error box')
    key('Return', then=JOIN)
    pick(['f'], 'Select the first input file', source + '.001',
         'box: The a file with the same name as the output file already exists.\r'
         'Parvox has therefore appended ".JOINED" to the output file name.')
    key('Return', then=JOIN)
    file_label(source + '.001')
    wait(lambda: control(source + '.joined')[:2], ('label', 'Output file: the file that the join writes'), 'output')
    key('s'), answer('Joining Completed\nThe piece matches gypsy_pqj.txt.sha256.', JOIN)

    # A set over two media: the question for the piece on the other is read,
    # and answered from the keyboard with the folder that holds it.
    spread, other = os.path.join(sys.argv[2], 'spread.bin'), os.path.join(sys.argv[2], 'disc2')
    os.mkdir(other)
    with open(spread + '.sha256', 'w') as sums:
        for piece, folder in ((1, sys.argv[2]), (2, other)):
            pathlib.Path(folder, f'spread.bin.00{piece}').write_bytes(b'piece %d' % piece)
            sums.write(f'{hashlib.sha256(b"piece %d" % piece).hexdigest()}  spread.bin.00{piece}\n')
    pick(['f'], 'Select the first input file', spread + '.001', JOIN)
    key('s'), wait(active, 'box: spread.bin.002 is not on this medium. Insert the stick or disc that holds it '
                   'and choose its folder.', 'question for the next medium')
    wait(lambda: [b.name for b in pyatspi.utils.findAllDescendants(
        windows(pyatspi.STATE_ACTIVE)[0], lambda a: a.getRoleName() == 'push button')],
         ['Choose Folder...', 'Cancel'], 'answers to the question')
    pick(['f'], 'Choose the folder that holds spread.bin.002', other,
         'box: Joining Completed\nAll 2 pieces match spread.bin.sha256.')
    key('Return', then=JOIN)
    key('c', then=MAIN)

    # The keys 1 and 2 act with modifiers held, and on a layout that types digits with Shift.
    key('o', then=COMPARE)
    pick(['shift+1'], 'Select file 1', source, COMPARE)
    pick(['ctrl+2'], 'Select file 2', source + '.joined', COMPARE)
    label_height = file_label(source + '.joined')
    key('s'), answer('Files are equal', COMPARE)
    run('setxkbmap', 'fr')
    for digit, title in (('ampersand', 'Select file 1'), ('eacute', 'Select file 2')):
        key(digit, then=title, what='(French layout)')
        key('Escape', then=COMPARE)
    run('setxkbmap', 'us')
    key('c', then=MAIN)

    # The checksum's file label is as high as the other windows' file labels.
    key('k', then=CHECKSUM)
    pick(['f'], 'Select file for checksum', source, CHECKSUM)
    height = file_label(source)
    assert height == label_height, f'file label height: expected {label_height} as in Compare, found {height}'
    key('s'), answer('Checksum ready', CHECKSUM)
    wait(lambda: control('294')[:2], ('label', 'Checksum of the file'), 'checksum label')
    key('c', then=MAIN)

    # The window manager places the About window; its picture shows the hand.
    key('a', then=ABOUT)
    wait(lambda: re.findall('.*location.*', wm('WM_NORMAL_HINTS')), [], 'position asked by the About window')
    hand = cursor_over(control('Parvox home page')[3])
    wait(lambda: cursor_over(control('Quillfern logo')[3]), hand, 'cursor over the picture (as over a link)')

    # Drags enter the windows over their titles, where nothing is taken: each
    # row of Compare takes one file, and the main window opens it with two.
    key('c', then=MAIN), key('o', then=COMPARE)
    title = control(COMPARE)[3]
    assert drag([source + '.001'], title, control('Choose file 1')[3])
    assert drag([source], title, control(source + '.joined')[3])
    assert not drag([source + '.joined'], title, title), 'a file taken on the title'
    wait(rows, [source + '.001', source], 'Compare after a drop on each row')
    key('c', then=MAIN)
    assert drag([source + '.joined', source], control('Par-Vox')[3], control('Par-Vox')[3])
    wait(lambda: (active(), rows()), (COMPARE, [source + '.joined', source]), 'two files dropped on the main window')

    # A long run stops at once, by every way a user has, with no message; the
    # window comes back (or closes, when that was asked). Last, closing the
    # main window during a run ends the program.
    with open(big := os.path.join(sys.argv[2], 'big.iso'), 'wb') as f:
        f.truncate(64 << 30)  # sparse: it costs nothing, and a compare of it would take minutes
    pick(['1'], 'Select file 1', big, COMPARE), pick(['2'], 'Select file 2', big, COMPARE)

    def geometry(window):  # where a window of the program lies on the screen: left, top, width, height
        info = run('xwininfo', '-id', window)
        return [int(re.search(name + r': +(\d+)', info)[1]) for name in ('upper-left X', 'upper-left Y', 'Width', 'Height')]

    def click(x, y):
        run('xdotool', 'mousemove', str(x), str(y), 'click', '1')

    def stopped(how, *keys, then=COMPARE):
        # The run is watched through the X server: a screen reader's questions
        # wait for the run's event rounds, and a search of every window takes seconds.
        before = set(shown())
        key('s'), wait(lambda: len(set(shown()) - before), 1, 'progress window')
        left, top, width, height = geometry((set(shown()) - before).pop())
        start = time.monotonic()
        if how == 'button':  # centred under the bar
            click(left + width // 2, top + height - 24)
        elif how == 'progress window':  # activated by a click on its text
            click(left + width // 2, top + 20)
        run('xdotool', 'key', *keys)
        wait(lambda: set(shown()) - before, set(), f'progress window after {how} {keys}', timeout=5)
        print(f'{how} {" ".join(keys)}: the run ended {time.monotonic() - start:.2f} s after the request')
        wait(active, then, f'window after {how} {keys}')

    stopped('key', 'Escape')
    stopped('button')
    stopped('progress window', 'Escape')
    stopped('progress window', 'Tab', 'space')
    stopped('key', 'alt+F4', then=MAIN)
    main = run('xdotool', 'search', '--onlyvisible', '--name', f'^{MAIN}$')
    key('o', then=COMPARE)
    key('s'), wait(lambda: len(shown()), 3, 'progress window')
    def question():  # the question of a message box on the screen
        return next((t.name for w in windows(pyatspi.STATE_SHOWING) if w.getRoleName() == 'alert'
                     for t in w if t.name.endswith('?')), None)

    for answer in ('n', 'Return'):  # No lets the run go on; Yes stops it and ends the program
        run('wmctrl', '-i', '-c', main)  # closed as from a task bar, through the window manager
        # The answer waits for the question to have the keyboard.
        wait(active, 'box: Are you sure you want to close Parvox?', 'the main window closed during a run')
        key(answer)
        if answer == 'n':  # the question gone (it too made three windows) and the progress window back
            wait(lambda: (question(), len(shown())), (None, 3), 'the run after No')
    wait(lambda: program.poll(), 0, 'the program after Yes')

    # The end of the session (here SIGTERM) stops a run as Stop does, its pieces removed, and ends the program.
    program = subprocess.Popen([PARVOX, big], stderr=stderr, env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1'))
    wait(active, SPLIT, 'Split opened with a file')
    key('s'), wait(lambda: len(shown()), 3, 'progress window')
    program.send_signal(signal.SIGTERM)
    wait(lambda: program.poll(), 128 + signal.SIGTERM, 'the program after SIGTERM during a split')
    assert not [n for n in os.listdir(sys.argv[2]) if n.startswith('big.iso.')], 'pieces left after SIGTERM'
except BaseException:
    print('Program output:', output.decode(errors='replace'), sep='\n')
    raise
finally:
    program.terminate()
    program.wait()
