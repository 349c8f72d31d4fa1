"""Finding and using widgets through the accessibility tree, as a screen reader would."""

from session import pyatspi, wait_for

# Calls that open a modal window answer only when it closes; a short limit lets the test
# go on while the window is up. Everything else gets a limit fit for a loaded machine.
NORMAL_TIMEOUT_MS = 20000
MODAL_TIMEOUT_MS = 1000


def configure():
    # The second figure applies to an application that joined the bus recently, which the
    # program always has in these tests; keeping both equal keeps the short limit short.
    pyatspi().setTimeout(NORMAL_TIMEOUT_MS, NORMAL_TIMEOUT_MS)


def role_name(acc):
    try:
        return acc.getRoleName()
    except Exception:  # noqa: BLE001
        return "?"


def children(acc):
    try:
        count = acc.childCount
    except Exception:  # noqa: BLE001 (a widget that just closed)
        return []
    result = []
    for i in range(count):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:  # noqa: BLE001
            continue
        if child is not None:
            result.append(child)
    return result


def walk(root, max_nodes=5000, showing_only=False,
         skip_roles=("table cell", "tree item", "list item")):
    """Breadth-first walk. Cells and items are not descended into, and with showing_only
    neither are hidden widgets (other tabs' pages, closed drop-down lists): long lists would
    make every lookup slow over the bus, and tables are read through their table interface."""
    queue = [root]
    seen = 0
    while queue and seen < max_nodes:
        acc = queue.pop(0)
        seen += 1
        if showing_only and acc is not root and not is_showing(acc):
            continue
        yield acc
        if role_name(acc) not in skip_roles:
            queue.extend(children(acc))


def is_showing(acc):
    try:
        return acc.getState().contains(pyatspi().STATE_SHOWING)
    except Exception:  # noqa: BLE001
        return False


def is_enabled(acc):
    try:
        return acc.getState().contains(pyatspi().STATE_ENABLED)
    except Exception:  # noqa: BLE001
        return False


def is_focused(acc):
    try:
        return acc.getState().contains(pyatspi().STATE_FOCUSED)
    except Exception:  # noqa: BLE001
        return False


def wait_focused(acc, what="the field"):
    """Keys go to the focused widget: typing before the focus arrives would lose them."""
    wait_for(f"{what} to have the keyboard focus", lambda: is_focused(acc))


def is_checked(acc):
    return acc.getState().contains(pyatspi().STATE_CHECKED)


def find_all(root, role=None, name=None, showing=True, **kw):
    found = []
    for acc in walk(root, showing_only=showing, **kw):
        if role is not None and role_name(acc) != role:
            continue
        if name is not None and plain(acc.name) != name:
            continue
        found.append(acc)
    return found


def find(root, role=None, name=None, showing=True):
    hits = find_all(root, role, name, showing)
    return hits[0] if hits else None


def plain(text):
    """A caption as the user reads it: without the mnemonic ampersand."""
    return (text or "").replace("&&", "\0").replace("&", "").replace("\0", "&")


def windows(app):
    """The program's top-level windows (main window, dialogs, message boxes)."""
    return [w for w in children(app) if is_showing(w)]


def wait_window(app, title, timeout=30.0):
    def check():
        for w in windows(app):
            if plain(w.name) == title or plain(w.name).startswith(title):
                return w
        return None
    return wait_for(f"the window \"{title}\"", check, timeout)


def wait_window_gone(app, title, timeout=30.0):
    def check():
        return all(not plain(w.name).startswith(title) for w in windows(app))
    wait_for(f"the window \"{title}\" to close", check, timeout)


def _do_action(acc, wanted):
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for want in wanted:
        for i, n in enumerate(names):
            if n.lower() == want:
                return action.doAction(i)
    raise AssertionError(f"{role_name(acc)} \"{acc.name}\" offers no {wanted[0]} action ({names})")


def press(acc, opens_modal=False):
    """Presses a button or menu item. A press that opens a modal window answers only when that
    window closes, so it is sent with a short limit and its time-out counts as pressed."""
    if not opens_modal:
        _do_action(acc, ("press", "click", "activate"))
        return
    py = pyatspi()
    py.setTimeout(MODAL_TIMEOUT_MS, MODAL_TIMEOUT_MS)
    try:
        _do_action(acc, ("press", "click", "activate"))
    except Exception as e:  # noqa: BLE001
        if "imeout" not in str(e) and "NoReply" not in str(e):
            raise
    finally:
        py.setTimeout(NORMAL_TIMEOUT_MS, NORMAL_TIMEOUT_MS)


def menu_item(app, *path):
    """The menu item reached through the menu bar by its captions, e.g. ("File", "Exit")."""
    main = main_window(app)
    bar = wait_for("the menu bar", lambda: next(
        (m for m in children(main) if role_name(m) == "menu bar"), None))
    node = bar
    for caption in path:
        node = wait_for(f"the menu item \"{caption}\"",
                        lambda n=node, c=caption: next(
                            (m for m in _menu_entries(n) if plain(m.name) == c), None))
    return node


def _menu_entries(node):
    """A menu's items: a menu bar holds them directly, a menu item through its pop-up."""
    entries = []
    for child in children(node):
        if role_name(child) == "popup menu":
            entries.extend(children(child))
        else:
            entries.append(child)
    return entries


def main_window(app):
    return wait_for("the main window", lambda: next(
        (w for w in children(app) if plain(w.name) == "Platterly 2.0"), None))


def text_of(acc):
    t = acc.queryText()
    return t.getText(0, t.characterCount)


def set_text(acc, value):
    acc.queryEditableText().setTextContents(value)


KEYSYMS = {"F1": 0xFFBE, "F2": 0xFFBF, "Return": 0xFF0D, "Escape": 0xFF1B, "BackSpace": 0xFF08,
           "Tab": 0xFF09, "Down": 0xFF54, "Control_L": 0xFFE3, "space": 0x0020, "q": 0x0071}


def key(name):
    """Presses and releases one key through the X server, as the keyboard would."""
    py = pyatspi()
    py.Registry.generateKeyboardEvent(KEYSYMS[name], None, py.KEY_SYM)


def type_text(text):
    """Types text key by key. ASCII only: the synthesiser remaps a spare key code for every
    character missing from the keyboard map, and fast typing outruns that remapping."""
    if not text.isascii():
        raise ValueError(f"cannot type {text!r} reliably; set it through the text interface")
    py = pyatspi()
    py.Registry.generateKeyboardEvent(0, text, py.KEY_STRING)


def click(acc, button="b1c"):
    """A mouse click in the middle of a widget (b1c single, b1d double)."""
    x, y, w, h = extents(acc)
    pyatspi().Registry.generateMouseEvent(x + w // 2, y + h // 2, button)


# Xvfb's default keyboard map puts the left Control key on key code 37.
CONTROL_KEYCODE = 37


def ctrl_key(name):
    """A key pressed with Ctrl held down (Ctrl+Tab, Ctrl+Q)."""
    py = pyatspi()
    py.Registry.generateKeyboardEvent(CONTROL_KEYCODE, None, py.KEY_PRESS)
    try:
        key(name)
    finally:
        py.Registry.generateKeyboardEvent(CONTROL_KEYCODE, None, py.KEY_RELEASE)


def ctrl_click(acc):
    """A click with Ctrl held down."""
    py = pyatspi()
    py.Registry.generateKeyboardEvent(CONTROL_KEYCODE, None, py.KEY_PRESS)
    try:
        click(acc)
    finally:
        py.Registry.generateKeyboardEvent(CONTROL_KEYCODE, None, py.KEY_RELEASE)


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi().DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height
