"""rkv.Error and the turning of the solver's errors into Python's."""

import warnings

NOTE, ALERT, WARNING, FATAL, TERMINAL, WARNING_IMMEDIATE, FATAL_IMMEDIATE = range(1, 8)
_NAMES = {1: "NOTE", 2: "ALERT", 3: "WARNING", 4: "FATAL", 5: "TERMINAL",
          6: "WARNING", 7: "FATAL"}


class Error(Exception):
    """A FATAL or TERMINAL error of the solver: ``type`` (4, 5 or 7), ``code`` and the
    report's ``message``."""

    def __init__(self, type, code, message):
        super().__init__(f"{_NAMES.get(type, type)} error {code}: {message}")
        self.type = type
        self.code = code
        self.message = message


class Warning(UserWarning):  # noqa: A001 - rkv.Warning, as rkv.Error
    """A WARNING of the solver, issued through :mod:`warnings`."""


def raise_outcome(type, code, message, stacklevel=3):
    """Raises rkv.Error for FATAL/TERMINAL, warns for WARNING, else nothing."""
    if type in (FATAL, TERMINAL, FATAL_IMMEDIATE):
        raise Error(type, code, message)
    if type in (WARNING, WARNING_IMMEDIATE):
        warnings.warn(f"WARNING {code}: {message}", Warning, stacklevel=stacklevel)
