"""tools/install-deps.sh against fake apt-get, dpkg, dpkg-query, locale and
locale-gen first on PATH: a mirror in mid-sync (failed index files), suites
out of step (unmet dependencies) and the failures that must stop it. Nothing
is installed, nothing leaves the machine.

usage: test_install_deps.py SOURCE_FOLDER
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = None

# What apt-get prints and returns in each case, as Debian's apt 2.6 does.
APT_OUTCOMES = {
    "ok": (0, "Done"),
    "index": (100, "E: Failed to fetch http://mirror/dists/bookworm-security/main/binary-i386/"
                   "Packages.xz  File has unexpected size (1234 != 5678). Mirror sync in "
                   "progress?\nE: Some index files failed to download. They have been "
                   "ignored, or old ones used instead."),
    "lock": (100, "E: Could not get lock /var/lib/apt/lists/lock. It is held by process 42"),
    "unmet": (100, "The following packages have unmet dependencies:\n libwine : Depends: "
                   "libgstreamer-plugins-base1.0-0 but it is not installable\n"
                   "E: Unable to correct problems, you have held broken packages."),
    "unknown": (100, "E: Unable to locate package wine32:i386"),
}

# Each fake notes its command line in calls.log. apt-get answers with the
# next outcome of plan (one name a line), "ok" once the plan is used up.
FAKES = {
    "apt-get": """#!/bin/sh
echo "apt-get $*" >>"$FAKE_DIR/calls.log"
outcome=$(head -n 1 "$FAKE_DIR/plan")
sed -i 1d "$FAKE_DIR/plan"
[ -n "$outcome" ] || outcome=ok
cat "$FAKE_DIR/out-$outcome"
exit "$(cat "$FAKE_DIR/rc-$outcome")"
""",
    "dpkg": """#!/bin/sh
echo "dpkg $*" >>"$FAKE_DIR/calls.log"
""",
    "dpkg-query": "#!/bin/sh\necho \"dpkg-query: no packages found matching $2\" >&2\nexit 1\n",
    "locale": "#!/bin/sh\nprintf 'C\\nC.utf8\\nPOSIX\\n'\n",
    "locale-gen": "#!/bin/sh\necho \"locale-gen $*\" >>\"$FAKE_DIR/calls.log\"\n",
    "sudo": "#!/bin/sh\nexec \"$@\"\n",
}


class InstallDeps(unittest.TestCase):

    def setUp(self):
        self.fakes = tempfile.mkdtemp(prefix="lumivo-install-deps-")
        self.addCleanup(shutil.rmtree, self.fakes)
        for name, text in FAKES.items():
            path = os.path.join(self.fakes, name)
            with open(path, "w") as f:
                f.write(text)
            os.chmod(path, 0o755)
        for name, (rc, text) in APT_OUTCOMES.items():
            self.write(f"out-{name}", text + "\n")
            self.write(f"rc-{name}", f"{rc}\n")
        self.write("os-release", 'ID=debian\nVERSION_CODENAME="shopsuite"\n')
        self.write("locale.gen", "# en_US.UTF-8 UTF-8\n")

    def write(self, name, text):
        with open(os.path.join(self.fakes, name), "w") as f:
            f.write(text)

    def run_script(self, plan):
        self.write("plan", "".join(line + "\n" for line in plan))
        self.write("calls.log", "")
        env = dict(os.environ, PATH=self.fakes + os.pathsep + os.environ["PATH"],
                   FAKE_DIR=self.fakes, LUMIVO_APT_RETRY_PAUSE="0",
                   LUMIVO_OS_RELEASE=os.path.join(self.fakes, "os-release"),
                   LUMIVO_LOCALE_GEN=os.path.join(self.fakes, "locale.gen"))
        result = subprocess.run(["sh", os.path.join(SOURCE, "tools", "install-deps.sh")],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                text=True, timeout=60)
        with open(os.path.join(self.fakes, "calls.log")) as f:
            calls = f.read().splitlines()
        apt = [call.split()[1] + (" -t " + call.split(" -t ")[1].split()[0]
                                  if " -t " in call else "")
               for call in calls if call.startswith("apt-get ")]
        return result.returncode, result.stdout, calls, apt

    def test_mirror_in_mid_sync_and_suites_out_of_step(self):
        cases = [
            # plan, apt-get calls, what the script says
            (["index", "ok", "ok"], ["update", "update", "install"], "trying again in 0 s"),
            (["index", "index", "index", "ok"], ["update"] * 3 + ["install"],
             "going on with the lists at hand"),
            (["ok", "unmet", "ok"], ["update", "install", "install -t shopsuite"],
             "pinned to the release suite: -t shopsuite"),
        ]
        for plan, expected, said in cases:
            with self.subTest(plan=plan):
                status, output, calls, apt = self.run_script(plan)
                self.assertEqual(status, 0, output)
                self.assertEqual(apt, expected)
                self.assertIn(said, output)
                self.assertIn("install-deps: all packages present", output)
                # A fresh machine: i386 added, every package asked for, the
                # Polish locale made.
                self.assertIn("dpkg --add-architecture i386", calls)
                install = next(call for call in calls if " install " in call)
                for package in ("wine32:i386", "qemu-user-static", "nsis"):
                    self.assertIn(package, install.split())
                self.assertIn("locale-gen ", calls)
        with open(os.path.join(self.fakes, "locale.gen")) as f:
            self.assertIn("pl_PL.UTF-8 UTF-8\n", f.read())

    def test_other_failures_stop_with_apts_own_message(self):
        cases = [
            (["lock"], ["update"], "Could not get lock"),
            (["index", "lock"], ["update", "update"], "Could not get lock"),
            (["ok", "unknown"], ["update", "install"], "Unable to locate package"),
            (["ok", "unmet", "unmet"], ["update", "install", "install -t shopsuite"],
             "unmet dependencies"),
        ]
        for plan, expected, said in cases:
            with self.subTest(plan=plan):
                status, output, calls, apt = self.run_script(plan)
                self.assertNotEqual(status, 0, output)
                self.assertEqual(apt, expected)
                self.assertIn(said, output)
                self.assertNotIn("all packages present", output)
                self.assertNotIn("locale-gen ", calls)


if __name__ == "__main__":
    SOURCE = sys.argv.pop(1)
    unittest.main(verbosity=2)
