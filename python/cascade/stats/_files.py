"""Files written whole or not at all: the data goes to a new file of its own in
the target's folder (created with O_EXCL, so never through a link or over a
file someone else put there), which is then renamed over the target. A
reader sees the old file or the new one, never half of one, and a link at the
target is replaced, not followed.
"""
import os
import secrets

_NEW = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW | getattr(os, "O_CLOEXEC", 0)
_TRIES = 100


def _default_mode():
    """0o666 less the umask: what open() would have given the target."""
    mask = os.umask(0)
    os.umask(mask)
    return 0o666 & ~mask


def _new_file(name, folder_fd, mode):
    """(descriptor, name) of a fresh file beside `name`, in the folder of folder_fd (None: the working folder's)."""
    folder, base = os.path.split(name)
    for _ in range(_TRIES):
        temporary = os.path.join(folder, f".{base}.{secrets.token_hex(6)}.partial")
        try:
            return os.open(temporary, _NEW, mode, dir_fd=folder_fd), temporary
        except FileExistsError:
            continue
    raise FileExistsError(f"no free temporary name beside {name}")


def replace(name, write, *, folder_fd=None, mode=None):
    """Writes `name` (relative to folder_fd when given) through write(binary stream), then renames
    it into place. On any failure the temporary file is removed and the target is left as it was."""
    descriptor, temporary = _new_file(name, folder_fd, _default_mode() if mode is None else mode)
    try:
        with os.fdopen(descriptor, "wb") as stream:
            write(stream)
            stream.flush()
            os.fsync(stream.fileno())
        os.replace(temporary, name, src_dir_fd=folder_fd, dst_dir_fd=folder_fd)
    except BaseException:
        try:
            os.unlink(temporary, dir_fd=folder_fd)
        except OSError:
            pass
        raise
