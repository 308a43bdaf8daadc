"""Where the source and the build tree are: CTest passes them, else this file's place."""

import os

SOURCE_DIR = os.environ.get('ORBELIN_SOURCE_DIR') or os.path.abspath(
    os.path.join(os.path.dirname(__file__), '..', '..', '..'))
BINARY_DIR = os.environ.get('ORBELIN_BINARY_DIR') or os.path.join(SOURCE_DIR, 'build')
STANDINS_DIR = os.path.join(SOURCE_DIR, 'standins')
SCREENSHOT_DIR = os.path.join(BINARY_DIR, 'screenshots')
