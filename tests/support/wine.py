"""One throwaway wine prefix and one persistent wine server for a whole test
run, without a display, as root or a user. Wine starts its driver host
(winedevice.exe) from the first program that needs it, and the host keeps
that program's output open: `Wine(warm_up)` runs such a program once, its
output discarded, before any program whose output is read."""
import os
import shutil
import subprocess
import tempfile


def _first(*candidates):
    for c in candidates:
        if c and os.access(c, os.X_OK):
            return c
    return None


class Wine:
    def __init__(self, *warm_up):
        # Debian's wine64: the loader itself, not the `wine` launcher.
        self.loader = _first("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine"))
        server = _first("/usr/lib/wine/wineserver", shutil.which("wineserver"))
        if not self.loader or not server:
            raise RuntimeError("wine is not installed (Debian package wine64)")
        self.prefix = tempfile.mkdtemp(prefix="qorvantis-wine-")
        os.environ.update(WINEPREFIX=self.prefix, WINEDEBUG="-all",
                          # no Mono or Gecko installer when the prefix is made
                          WINEDLLOVERRIDES="mscoree,mshtml=")
        os.environ.pop("DISPLAY", None)
        self.server = server
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        subprocess.run([server, "--persistent"], check=True, timeout=60, **quiet)
        subprocess.run([self.loader, "wineboot", "--init"], check=True, timeout=600, **quiet)
        if warm_up:
            subprocess.run([self.loader, *warm_up], timeout=600, **quiet)
        self.next_port = 5

    def command(self, exe):
        return [self.loader, exe]

    def com_port(self, device):
        """A new COM port of the prefix that opens `device`; its name."""
        n = self.next_port
        self.next_port += 1
        os.symlink(device, os.path.join(self.prefix, "dosdevices", "com%d" % n))
        return "COM%d" % n

    def close(self):
        subprocess.run([self.server, "--kill"], timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.prefix, ignore_errors=True)
