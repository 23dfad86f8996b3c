#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 Quillfern
# SPDX-License-Identifier: GPL-3.0-or-later

# A simulated USB stick for the engine tests: an ext4 file system on a loop
# device whose backing file, DIR/fuse/image, a small FUSE daemon serves from
# DIR/image.real, so that its writes can be slowed, refused or silently lost.
# DIR/stored counts the bytes that reached the image. Beside the image the
# daemon passes the files of DIR/files through, and answers the look-up of
# each name listed in DIR/refuse with EIO, as a failing stick may.
# A share is that daemon alone, without the image: DIR/fuse passes DIR/files
# through, every file shown as the user OWNER's (as media whose owners are
# fixed at mount show them) and every file sync taking SYNC_SECONDS (as a
# network share or a FUSE stick flushing its device does).
# Usage: medium.py attach DIR | share DIR OWNER SYNC_SECONDS | detach DIR |
#        mode DIR WORD...
# The first word of the mode is the stick's: ok, slow BYTES_PER_SECOND, fail
# or drop. Anywhere among them, fail also refuses the writes and syncs of the
# files passed through, unsynced their syncs alone, full their writes with
# EPERM (as a full FAT stick through FUSE says it), blind the question of
# the file system's kind (statfs), and badread OFFSET the reads of the files
# passed through that touch the 4 KiB from OFFSET on, as a bad sector does;
# listed shows the files passed through in the listing of their folder,
# which is otherwise empty.
# attach and share exit 77 where the machine cannot have such a medium.
import errno, os, signal, subprocess, sys, time


def run(*args):
    return subprocess.run(args, capture_output=True, text=True)


def text(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ''


def put(path, content):
    with open(path + '.new', 'w') as f:
        f.write(content)
    os.replace(path + '.new', path)


def serve(top, owner, sync_seconds):
    import fusepy as fuse
    stick = os.path.exists(f'{top}/image.real')
    image = os.open(f'{top}/image.real', os.O_RDWR) if stick else -1
    stored = os.open(f'{top}/stored', os.O_WRONLY | os.O_CREAT | os.O_TRUNC)

    def on_image(path):
        return stick and path == '/image'

    def real(path):
        if path[1:] in text(f'{top}/refuse').split():
            raise fuse.FuseOSError(errno.EIO)
        return f'{top}/files{path}'

    class Medium(fuse.Operations):
        count, free_at = 0, 0.0

        def mode(self):
            return text(f'{top}/mode').split() or ['ok']

        def refuse_if(self, *words):
            if any(word in self.mode() for word in words):
                raise fuse.FuseOSError(errno.EIO)

        def getattr(self, path, fh=None):
            if on_image(path):
                return {'st_mode': 0o100644, 'st_nlink': 1, 'st_size': os.fstat(image).st_size}
            st = os.lstat(real(path))
            attributes = {key: getattr(st, key) for key in ('st_mode', 'st_nlink', 'st_size', 'st_uid', 'st_gid')}
            if owner is not None:
                attributes.update(st_uid=owner, st_gid=owner)
            return attributes

        def open(self, path, flags):
            return 0 if on_image(path) else os.open(real(path), flags & os.O_ACCMODE)

        def create(self, path, mode, fi=None):
            return os.open(real(path), os.O_RDWR | os.O_CREAT, mode)

        def release(self, path, fh):
            if not on_image(path):
                os.close(fh)

        def readdir(self, path, fh):
            shown = os.listdir(real(path)) if 'listed' in self.mode() and os.path.isdir(real(path)) else []
            return ['.', '..'] + shown

        def read(self, path, size, offset, fh):
            mode = self.mode()
            if not on_image(path) and 'badread' in mode:
                bad = int(mode[mode.index('badread') + 1])
                if offset < bad + 4096 and bad < offset + size:
                    raise fuse.FuseOSError(errno.EIO)
            return os.pread(image if on_image(path) else fh, size, offset)

        def truncate(self, path, length, fh=None):
            os.truncate(real(path), length)

        def unlink(self, path):
            os.unlink(real(path))

        def rename(self, old, new):
            os.rename(real(old), real(new))

        def statfs(self, path):
            self.refuse_if('blind')
            return {}

        def write(self, path, data, offset, fh):
            mode = self.mode()
            if not on_image(path):
                self.refuse_if('fail')
                if 'full' in mode:
                    raise fuse.FuseOSError(errno.EPERM)
                return os.pwrite(fh, data, offset)
            if mode[0] == 'fail':
                raise fuse.FuseOSError(errno.EIO)
            if mode[0] == 'ok' or mode[0] == 'slow':
                os.pwrite(image, data, offset)
                self.count += len(data)
                os.pwrite(stored, str(self.count).encode(), 0)
            if mode[0] == 'slow':
                # An idle medium earns no more than a moment's credit.
                now = time.monotonic()
                self.free_at = max(self.free_at, now - 0.05) + len(data) / float(mode[1])
                time.sleep(max(0.0, self.free_at - now))
            return len(data)

        def fsync(self, path, datasync, fh):
            if on_image(path):
                if self.mode()[0] == 'fail':
                    raise fuse.FuseOSError(errno.EIO)
                return 0
            self.refuse_if('fail', 'unsynced')
            time.sleep(sync_seconds)
            return 0

    # direct_io: no cache of the image in the kernel, every write reaches the daemon at once.
    # allow_other: the tests run as other users too.
    fuse.FUSE(Medium(), f'{top}/fuse', foreground=True, nothreads=True, big_writes=True, max_write=131072,
              direct_io=stick, entry_timeout=0, attr_timeout=0, allow_other=True, fsname='medium')


def unmount(target, *command):
    for _ in range(10):
        if f' {target} ' not in text('/proc/self/mounts'):
            return
        run(*command, target)
        time.sleep(0.1)
    # Still busy (a failed test left a file open): it goes once released.
    run('umount', '-l', target)


def detach(top):
    unmount(f'{top}/mnt', 'umount')
    for line in run('losetup', '-j', f'{top}/fuse/image').stdout.splitlines():
        run('losetup', '-d', line.split(':')[0])
    unmount(f'{top}/fuse', 'fusermount', '-u')
    pid = text(f'{top}/pid').strip()
    if pid and f'serve\0{top}\0' in text(f'/proc/{pid}/cmdline'):
        os.kill(int(pid), signal.SIGKILL)
    for name in ('pid', 'mode', 'refuse'):
        if os.path.exists(f'{top}/{name}'):
            os.remove(f'{top}/{name}')


# Starts the daemon on DIR/fuse; 0 once it serves, 77 where FUSE is missing.
def start(top, *settings):
    try:
        import fusepy  # noqa: F401 (fails too without libfuse2)
    except (ImportError, OSError):
        return 77
    if not os.path.exists('/dev/fuse'):
        return 77
    detach(top)
    for name in ('fuse', 'mnt', 'files'):
        os.makedirs(f'{top}/{name}', exist_ok=True)
    with open(f'{top}/serve.log', 'w') as log:
        daemon = subprocess.Popen([sys.executable, os.path.abspath(__file__), 'serve', top, *settings],
                                  stdout=log, stderr=log, start_new_session=True)
    put(f'{top}/pid', str(daemon.pid))
    deadline = time.monotonic() + 10
    while not os.path.ismount(f'{top}/fuse'):
        if daemon.poll() is not None or time.monotonic() > deadline:
            detach(top)
            return 1
        time.sleep(0.05)
    return 0


def attach(top):
    real = f'{top}/image.real'
    if not os.path.exists(real):
        with open(real, 'wb') as f:
            f.truncate(256 << 20)
        # No journal: one that fails to commit turns ext4 read-only whatever errors= says.
        run('mkfs.ext4', '-q', '-F', '-O', '^has_journal', real)
    else:
        # Writes lost at the last pull left it as a pulled stick is: mend it first.
        run('e2fsck', '-fy', real)
    status = start(top)
    if status:
        return status
    loop = run('losetup', '-f', '--show', f'{top}/fuse/image')
    if loop.returncode:
        detach(top)
        return 77
    if run('mount', '-o', 'errors=continue', loop.stdout.strip(), f'{top}/mnt').returncode:
        detach(top)
        return 1
    return 0


if __name__ == '__main__':
    command, top, args = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3:]
    if command == 'attach':
        sys.exit(attach(top))
    elif command == 'detach':
        detach(top)
    elif command == 'share':
        sys.exit(start(top, *args))
    elif command == 'mode':
        put(f'{top}/mode', ' '.join(args))
    elif command == 'serve':
        serve(top, int(args[0]) if args else None, float(args[1]) if args else 0.0)
