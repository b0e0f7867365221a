"""Exception notes as the running Python can show them.

brindle names the argument whose conversion failed in a note ("while processing 'indent'"),
added through the exception's add_note, which Python has from 3.11 on. On 3.10 exceptions take
no notes and brindle adds none: there the tests still check the exception's class and message,
and that no `__notes__` appears.
"""
import sys

NOTES_EXIST = sys.version_info >= (3, 11)


def notes_of(exception):
    """The exception's notes, or None when it has none."""
    return getattr(exception, "__notes__", None)


def expected_notes(*notes):
    """What notes_of shows for an exception that brindle gave these notes on this Python."""
    return list(notes) if NOTES_EXIST and notes else None
