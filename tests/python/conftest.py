"""Shared fixtures: the compiled right-hand sides of rhs.c."""

import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from problems import compile_rhs  # noqa: E402


@pytest.fixture(scope="session")
def clib(tmp_path_factory):
    return compile_rhs(str(tmp_path_factory.mktemp("rhs")))
