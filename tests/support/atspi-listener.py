#!/usr/bin/python3
"""atspi-listener.py LOG

Listens on the accessibility bus as a screen reader does, through libatspi,
for the events a screen reader reads out: objects coming into view, the
focus, names that change, and the caret moving in a text. Each event is written to LOG as one line,

    <event> <detail> <role> | <name>[ | <description>]

with the role, name and description asked of the program that sent it, as a
screen reader asks them. At the first focus, the program's tree as the bus shows it follows,
one line per object that is showing:

    tree <role> | <name> | <number of children>

and then "tree end".

"listening" is the first line, once the listener is registered: Qt's bridge
sends only the events some listener asked for.
"""
import sys

import pyatspi
from gi.repository import Atspi

EVENTS = (
    "object:state-changed:showing",
    "object:state-changed:focused",
    "object:property-change:accessible-name",
    "object:text-caret-moved",
)

log = open(sys.argv[1], "w", buffering=1, encoding="utf-8")
tree_written = False


def reading(obj):
    said = f"{Atspi.role_get_name(obj.getRole())} | {obj.name}"
    return f"{said} | {obj.description}" if obj.description else said


def write_tree(obj):
    if obj.getState().contains(pyatspi.STATE_SHOWING):
        log.write(f"tree {reading(obj)} | {obj.childCount}\n")
    for child in obj:
        if child is not None:
            write_tree(child)


def on_event(event):
    global tree_written
    try:
        log.write(f"{event.type} {event.detail1} {reading(event.source)}\n")
        if event.type.startswith("object:state-changed:focused") and event.detail1 and not tree_written:
            tree_written = True
            write_tree(event.source.getApplication())
            log.write("tree end\n")
    except Exception as error:  # the object went away before it could be asked
        log.write(f"gone {event.type}: {error}\n")


pyatspi.Registry.registerEventListener(on_event, *EVENTS)
log.write("listening\n")
pyatspi.Registry.start()
