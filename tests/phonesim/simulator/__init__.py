"""A simulated Android phone for tests and demos: stand-in adb, phone shell, companion service."""
