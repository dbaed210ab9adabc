"""setuptools' own build backend, saying plainly what it needs before it starts.

A wheel (which pip builds for every install) is made by the ``bdist_wheel`` command: part of
setuptools from 70.1 on, and of the separate ``wheel`` package before that. Without either,
setuptools stops with "invalid command 'bdist_wheel'"; this says what to install instead.
"""
from setuptools import build_meta as _meta
from setuptools.build_meta import *  # noqa: F401,F403 - every hook setuptools offers

_NEEDED = ("building the quorvex package needs setuptools 70.1 or later, or an older setuptools "
           "together with the 'wheel' package (Debian: apt install python3-setuptools "
           "python3-wheel; then pip install --no-build-isolation ./python); or run it from the "
           "source tree with PYTHONPATH=python")


def _check() -> None:
    try:
        import setuptools.command.bdist_wheel  # noqa: F401 - setuptools 70.1 and later
        return
    except ImportError:
        pass
    try:
        import wheel.bdist_wheel  # noqa: F401
    except ImportError:
        raise SystemExit(_NEEDED) from None


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    _check()
    return _meta.build_wheel(wheel_directory, config_settings, metadata_directory)


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    _check()
    return _meta.prepare_metadata_for_build_wheel(metadata_directory, config_settings)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    _check()
    return _meta.build_editable(wheel_directory, config_settings, metadata_directory)


def prepare_metadata_for_build_editable(metadata_directory, config_settings=None):
    _check()
    return _meta.prepare_metadata_for_build_editable(metadata_directory, config_settings)
