"""Drops a file on an X window as a file manager does, through the XDND protocol (version 5).

Wine takes XDND drops on a window that accepts files and hands them to it as WM_DROPFILES, so
this is the drop a user makes from a Linux file manager onto the Windows program.
"""

import time
import urllib.parse

from Xlib import X, display as xdisplay, protocol

VERSION = 5


def _client_message(disp, target, message_type, data):
    event = protocol.event.ClientMessage(window=target, client_type=message_type, data=(32, data))
    target.send_event(event, event_mask=X.NoEventMask)
    disp.flush()


def _answer(disp, event, uri_list, uri):
    """Gives the dropped file's URI to the window that asks the selection for it."""
    requestor = event.requestor
    prop = X.NONE
    if event.target == uri_list:
        requestor.change_property(event.property, uri_list, 8, uri.encode())
        prop = event.property
    notify = protocol.event.SelectionNotify(time=event.time, requestor=requestor, selection=event.selection,
                                            target=event.target, property=prop)
    requestor.send_event(notify)
    disp.flush()


def _next_event(disp, wanted, deadline, uri_list, uri):
    """The next event for which wanted(event) holds. Selection requests are answered meanwhile:
    Wine asks for the data as soon as the drag enters, before it says whether it takes it."""
    while time.monotonic() < deadline:
        while disp.pending_events():
            event = disp.next_event()
            if event.type == X.SelectionRequest:
                _answer(disp, event, uri_list, uri)
            elif wanted(event):
                return event
        time.sleep(0.02)
    return None


def drop_file(display_name, window_id, path, timeout=30):
    """Drops path on the middle of the window; None when the window took it, else what went wrong."""
    disp = xdisplay.Display(display_name)
    try:
        atom = lambda name: disp.intern_atom(name)  # noqa: E731
        root = disp.screen().root
        target = disp.create_resource_object("window", window_id)
        source = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
        uri_list = atom("text/uri-list")
        uri = "file://" + urllib.parse.quote(str(path)) + "\r\n"
        selection = atom("XdndSelection")
        source.set_selection_owner(selection, X.CurrentTime)

        geometry = target.get_geometry()
        corner = target.translate_coords(root, 0, 0)
        x, y = -corner.x + geometry.width // 2, -corner.y + geometry.height // 2
        deadline = time.monotonic() + timeout
        _client_message(disp, target, atom("XdndEnter"), [source.id, VERSION << 24, uri_list, 0, 0])
        _client_message(disp, target, atom("XdndPosition"),
                        [source.id, 0, (x << 16) | y, X.CurrentTime, atom("XdndActionCopy")])
        status = _next_event(disp, lambda e: e.type == X.ClientMessage and e.client_type == atom("XdndStatus"),
                             deadline, uri_list, uri)
        if status is None:
            return "no XdndStatus from the window"
        if not status.data[1][1] & 1:
            return "the window does not accept the drop"
        _client_message(disp, target, atom("XdndDrop"), [source.id, 0, X.CurrentTime, 0, 0])

        finished = _next_event(disp, lambda e: e.type == X.ClientMessage and e.client_type == atom("XdndFinished"),
                               deadline, uri_list, uri)
        if finished is None:
            return "no XdndFinished from the window"
        return None
    finally:
        disp.close()

