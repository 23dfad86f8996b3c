#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# A simulated USB stick for the engine tests: an ext4 file system on a loop
# device whose one backing file is served by a small FUSE daemon, so that its
# writes can be slowed down, refused or silently lost like those of a real
# stick. DIR/stored counts the bytes that really reached the image. Beside the
# image the daemon shows the files of DIR/files, read-only, and answers the
# look-up of each name listed in DIR/refuse with EIO, as a failing stick may.
# Usage: medium.py attach DIR [SIZE_MIB] | detach DIR | mode DIR ok|slow BYTES_PER_SECOND|fail|drop
# attach exits 77 when this machine cannot have such a medium (no FUSE, no loop device).
import contextlib, errno, importlib, os, signal, subprocess, sys, time

def run(*args):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def read(path, mode='r'):
    try:
        with open(path, mode) as f:
            return f.read()
    except OSError:
        return '' if mode == 'r' else b''


def write(path, text):
    with open(path + '.new', 'w') as f:
        f.write(text)
    os.replace(path + '.new', path)


def serve(top):
    import fusepy as fuse  # Debian's name for it
    image = os.open(os.path.join(top, 'image.real'), os.O_RDWR)
    stored = os.open(os.path.join(top, 'stored'), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.pwrite(stored, b'0', 0)
    mode_file = os.path.join(top, 'mode')
    files = os.path.join(top, 'files')

    class Medium(fuse.Operations):
        count, mode, seen, free_at = 0, ['ok'], None, 0.0

        def current_mode(self):
            st = os.stat(mode_file)
            if (st.st_ino, st.st_mtime_ns) != self.seen:
                self.seen, self.mode = (st.st_ino, st.st_mtime_ns), read(mode_file).split()
            return self.mode

        def getattr(self, path, fh=None):
            if path == '/':
                return {'st_mode': 0o40755, 'st_nlink': 2}
            if path == '/image':
                return {'st_mode': 0o100644, 'st_nlink': 1, 'st_size': os.fstat(image).st_size}
            if path[1:] in read(os.path.join(top, 'refuse')).split():
                raise fuse.FuseOSError(errno.EIO)
            try:
                st = os.lstat(files + path)
            except OSError as error:
                raise fuse.FuseOSError(error.errno)
            return {key: getattr(st, key) for key in ('st_mode', 'st_nlink', 'st_size', 'st_uid', 'st_gid')}

        def readdir(self, path, fh):
            return ['.', '..', 'image'] + os.listdir(files)

        def open(self, path, flags):
            return 0 if path == '/image' else os.open(files + path, os.O_RDONLY)

        def release(self, path, fh):
            if path != '/image':
                os.close(fh)

        def read(self, path, size, offset, fh):
            return os.pread(image if path == '/image' else fh, size, offset)

        def write(self, path, data, offset, fh):
            mode = self.current_mode()
            if mode[0] == 'fail':
                raise fuse.FuseOSError(errno.EIO)
            if mode[0] == 'drop':
                return len(data)
            os.pwrite(image, data, offset)
            self.count += len(data)
            os.pwrite(stored, str(self.count).encode(), 0)
            if mode[0] == 'slow':
                # The time spent outside this sleep counts, but an idle medium earns
                # no more than a moment's credit: the rate holds over every stretch.
                now = time.monotonic()
                self.free_at = max(self.free_at, now - 0.05) + len(data) / float(mode[1])
                time.sleep(max(0.0, self.free_at - now))
            return len(data)

        def fsync(self, path, datasync, fh):
            mode = self.current_mode()[0]
            if mode == 'fail':
                raise fuse.FuseOSError(errno.EIO)
            if mode != 'drop':
                os.fsync(image)
            return 0

        def flush(self, path, fh):
            return self.fsync(path, False, fh)

    # direct_io keeps the kernel from caching the file: what the loop device reads
    # back is what the daemon stored, and every write reaches the daemon at once.
    fuse.FUSE(Medium(), os.path.join(top, 'fuse'), foreground=True, nothreads=True, big_writes=True,
              max_write=131072, direct_io=True, entry_timeout=0, attr_timeout=0, fsname='medium')


def daemon_pid(top):
    pid = read(os.path.join(top, 'pid')).strip()
    # Only a daemon of this folder: the number may since belong to another process.
    return int(pid) if pid and f'serve\0{top}\0'.encode() in read(f'/proc/{pid}/cmdline', 'rb') else None


def mounted(path):
    # Not os.path.ismount: a FUSE folder whose daemon died cannot even be looked at.
    return any(line.split()[1] == path.replace(' ', '\\040') for line in read('/proc/self/mounts').splitlines())


def unmount(path, command, lazy):
    for _ in range(10):
        if not mounted(path) or run(*command, path).returncode == 0:
            return
        time.sleep(0.1)
    # Still busy (a failed test left a file open): let it go once it is released.
    run(command[0], lazy, path)


def detach(top):
    unmount(os.path.join(top, 'mnt'), ['umount'], '-l')
    loops = {read(os.path.join(top, 'loop')).strip()}
    loops |= {line.split(':')[0] for line in run('losetup', '-j', os.path.join(top, 'fuse', 'image')).stdout.splitlines()}
    for loop in loops - {''}:
        run('losetup', '-d', loop)
    unmount(os.path.join(top, 'fuse'), ['fusermount', '-u'], '-uz')
    for sig in (signal.SIGTERM, signal.SIGKILL, None):
        for _ in range(20):
            pid = daemon_pid(top)
            if pid is None:
                break
            time.sleep(0.1)
        if pid is not None and sig is not None:
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, sig)
    for name in ('loop', 'pid'):
        with contextlib.suppress(FileNotFoundError):
            os.remove(os.path.join(top, name))


def attach(top, size_mib):
    try:
        importlib.import_module('fusepy')  # fails too without libfuse2
    except (ImportError, OSError):
        return fail(top, 77, 'no fusepy (run this script as it is, not by the python3 on PATH)')
    if not os.path.exists('/dev/fuse'):
        return fail(top, 77, 'no /dev/fuse')
    detach(top)
    real = os.path.join(top, 'image.real')
    if not os.path.exists(real):
        with open(real, 'wb') as f:
            f.truncate(size_mib << 20)
        # No journal: a journal that fails to commit turns the file system read-only
        # whatever errors= says, and a stick has none either.
        result = run('mkfs.ext4', '-q', '-F', '-O', '^has_journal', real)
        if result.returncode:
            os.remove(real)
            return fail(top, 1, result.stderr)
    else:
        # Writes dropped before the last detach left it inconsistent, as a pulled
        # stick is: mend it first, as plugging such a stick in again would.
        run('e2fsck', '-fy', real)
    for name in ('fuse', 'mnt', 'files'):
        os.makedirs(os.path.join(top, name), exist_ok=True)
    write(os.path.join(top, 'mode'), 'ok')
    with open(os.path.join(top, 'serve.log'), 'w') as log:
        daemon = subprocess.Popen([sys.executable, os.path.abspath(__file__), 'serve', top], stdin=subprocess.DEVNULL,
                                  stdout=log, stderr=log, start_new_session=True)
    write(os.path.join(top, 'pid'), str(daemon.pid))
    deadline = time.monotonic() + 10
    while not os.path.exists(os.path.join(top, 'fuse', 'image')):
        if daemon.poll() is not None or time.monotonic() > deadline:
            return fail(top, 1, 'the FUSE daemon did not start: ' + read(os.path.join(top, 'serve.log')))
        time.sleep(0.05)
    result = run('losetup', '-f', '--show', os.path.join(top, 'fuse', 'image'))
    if result.returncode:
        return fail(top, 77, 'no loop device: ' + result.stderr)
    loop = result.stdout.strip()
    write(os.path.join(top, 'loop'), loop)
    result = run('mount', '-o', 'errors=continue', loop, os.path.join(top, 'mnt'))
    return fail(top, 1, result.stderr) if result.returncode else 0


def fail(top, code, message):
    print(f'medium.py: {message.strip()}', file=sys.stderr)
    detach(top)
    return code


def main(argv):
    command, top, args = (argv[1], os.path.abspath(argv[2]), argv[3:]) if len(argv) > 2 else ('', '', [])
    if command == 'attach' and len(args) < 2:
        try:
            return attach(top, int(args[0]) if args else 256)
        except (OSError, ValueError) as error:
            return fail(top, 1, str(error))
    if command == 'detach' and not args:
        detach(top)
    elif command == 'mode' and (args in (['ok'], ['fail'], ['drop']) or args[:1] == ['slow'] and len(args) == 2
                                and args[1].isdigit() and int(args[1]) > 0):
        write(os.path.join(top, 'mode'), ' '.join(args))
    elif command == 'serve' and not args:
        serve(top)
    else:
        print('usage: medium.py attach DIR [SIZE_MIB] | detach DIR | mode DIR ok|slow BYTES_PER_SECOND|fail|drop',
              file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
