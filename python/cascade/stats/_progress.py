"""A progress line on standard error, as the program shows one: only on a
terminal, only once the work has lasted a moment, and erased at the end."""
import sys
import time

SHOW_AFTER_SECONDS = 1.0
REDRAW_SECONDS = 0.1
ERASE_LINE = "\r\033[K"


class Progress:
    def __init__(self, name, what, enabled=True):
        stream = sys.stderr
        self._stream = stream if enabled and stream is not None and _is_terminal(stream) else None
        self._text = f"{name}: {what}"
        self._started = time.monotonic()
        self._drawn_at = None

    def update(self, fraction):
        if self._stream is None:
            return
        now = time.monotonic()
        if now - self._started < SHOW_AFTER_SECONDS:
            return
        if self._drawn_at is not None and now - self._drawn_at < REDRAW_SECONDS:
            return
        self._drawn_at = now
        self._write(f"\r{self._text} {100 * min(max(fraction, 0.0), 1.0):3.0f}%")

    def close(self):
        if self._stream is not None and self._drawn_at is not None:
            self._write(ERASE_LINE)
        self._stream = None

    def _write(self, text):
        # Decoration: a progress line that cannot be written is not worth a failure.
        try:
            self._stream.write(text)
            self._stream.flush()
        except (OSError, ValueError):
            self._stream = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


def _is_terminal(stream):
    try:
        return stream.isatty()
    except (AttributeError, ValueError, OSError):
        return False
