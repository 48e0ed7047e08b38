"""What every picture tool here shares: its refusals, its output checked
before anything is drawn, the picture written through a file of its own,
and its exit statuses (0 written and its path printed, 1 written but the
path not printed, 2 not written)."""
import argparse
import os
import signal

from cascade.stats import _files, _streams


class PlotError(Exception):
    pass


class Parser(argparse.ArgumentParser):
    """Refusals as PlotError: one line, status 2."""

    def error(self, message):
        raise PlotError(f"{message} (see --help)")


def check_output(path, figure):
    """Refuses an --output whose folder is missing or whose extension names no picture format."""
    folder = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(folder):
        raise PlotError(f"--output '{path}': folder '{folder}' does not exist")
    extension = os.path.splitext(path)[1].lstrip(".").lower()
    formats = figure.canvas.get_supported_filetypes()
    if extension not in formats:
        raise PlotError(f"--output '{path}': unknown picture format '{extension}' "
                        f"(one of {', '.join(sorted(formats))})")


def save(figure, path, dpi):
    """Writes the picture to a new file of its own beside `path` and renames it there: a failed write
    leaves no half picture, and a link in the folder is replaced, never written through."""
    extension = os.path.splitext(path)[1].lstrip(".").lower()
    _files.replace(path, lambda stream: figure.savefig(stream, dpi=dpi, format=extension))


def run(tool, words, make_parser, check_options, draw, figure, dpi):
    """Parses `words`, checks, draws on `figure` and saves it; the exit status."""
    # A reader that stops early, and Ctrl-C, end the tool as they end other filters: quietly.
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    options = None
    try:
        parser = make_parser()
        options = parser.parse_args(words)
        if options.help:
            return written(tool, parser.format_help(), "to standard output")
        check_options(options, figure)
        draw(options, figure)
        save(figure, options.output, dpi)
    except PlotError as error:
        _streams.say(tool, error)
        return 2
    except OSError as error:
        _streams.say(tool, f"cannot write {options.output}: {error.strerror}")
        return 2
    except MemoryError as error:
        _streams.say(tool, f"cannot allocate memory for the picture{': ' + str(error) if str(error) else ''}")
        return 2
    return written(tool, f"wrote {options.output}\n", "the picture's path")


def written(tool, text, what):
    """0 when `text` reached standard output, else 1 with one line on standard error."""
    try:
        _streams.write_output(text, what)
    except _streams.OutputError as error:
        _streams.say(tool, error)
        return 1
    return 0
