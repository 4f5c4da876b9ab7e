"""From a jar to the folder that ships, as a Java developer goes: `vkrgen init` on a small
application jar built here with the JDK, `vkrgen package` with a runtime to ship, then the
packaged launcher run with /run under Wine, where the stand-in runtime (javastub java.exe and
the recording jvm.dll) takes the JVM's place. The launcher must reach WinLauncher.main with
the application's main class and a class path whose every file the folder holds; so must
the same folder unpacked from the zip. vkrgen.exe does the same on Windows with UTF-16 paths
that no ANSI code page holds, and reports a usage error in its one-line form."""

import os
import shutil
import subprocess
import unittest
import zipfile
from pathlib import Path

import harness

CACHE_KEY = "HKCU\\SOFTWARE\\morrandt\\quenta\\jvms\\"
ENV = {"VELKOR_LOG": "yes", "JAVA_HOME": "", "JDK_HOME": "", "QUENTA_JAVA_HOME": "", "VELKOR_JAVA_HOME": "",
       "MANPATH": None}
# The host tree's vkrruntime.jar, beside the host vkrgen's tree.
RUNTIME_JAR = Path(os.environ.get("VKR_RUNTIME_JAR", harness.GENERATOR.parents[1] / "java" / "vkrruntime.jar"))
GENERATOR_EXE = harness.BUILD / "generator" / "vkrgen.exe"

MAIN = """package com.example.hello;
public class Main {
    public static void main(String[] args) { System.out.println(Greeting.text()); }
}
"""
GREETING = """package com.example.hello;
public class Greeting { public static String text() { return "hello"; } }
"""


def jdk_tool(name):
    found = shutil.which(name)
    if found:
        return found
    candidate = Path("/usr/lib/jvm/java-17-openjdk-amd64/bin") / name
    return str(candidate) if candidate.exists() else None


class PackageTest(harness.LauncherTestCase):
    def setUp(self):
        super().setUp()
        self.javac, self.jar = jdk_tool("javac"), jdk_tool("jar")
        if not (self.javac and self.jar):
            self.skipTest("no JDK (javac, jar) on this machine")
        if not RUNTIME_JAR.exists():
            self.skipTest(f"no vkrruntime.jar at {RUNTIME_JAR} (built by the host tree)")

    def build_application(self, project):
        """hello-1.0.jar with Main-Class and Class-Path: lib/greeting.jar, in project/build/libs."""
        src, classes, libs = project / "src", project / "classes", project / "build" / "libs"
        for path, text in [(src / "com/example/hello/Main.java", MAIN), (src / "com/example/hello/Greeting.java", GREETING)]:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        (libs / "lib").mkdir(parents=True)
        subprocess.run([self.javac, "--release", "8", "-Xlint:-options", "-d", str(classes),
                        str(src / "com/example/hello/Main.java"), str(src / "com/example/hello/Greeting.java")],
                       check=True, capture_output=True)
        manifest = project / "manifest.txt"
        manifest.write_text("Main-Class: com.example.hello.Main\nClass-Path: lib/greeting.jar\n")
        subprocess.run([self.jar, "--create", "--file", str(libs / "lib" / "greeting.jar"), "-C", str(classes),
                        "com/example/hello/Greeting.class"], check=True, capture_output=True)
        subprocess.run([self.jar, "--create", "--file", str(libs / "hello-1.0.jar"), "--manifest", str(manifest),
                        "-C", str(classes), "com/example/hello/Main.class"], check=True, capture_output=True)
        return libs / "hello-1.0.jar"

    def stand_in_runtime(self, folder):
        """A Windows runtime as far as the launcher can tell: java.exe that reports 17, jvm.dll
        that records what the launcher hands it."""
        bin_dir = folder / "bin"
        (bin_dir / "server").mkdir(parents=True)
        shutil.copy(harness.FIXTURES / "javastub" / "java.exe", bin_dir / "java.exe")
        (bin_dir / "java.cfg").write_text('banner=openjdk version "17.0.1" 2021-10-19\n')
        shutil.copy(harness.FIXTURES / "jvmdll" / "x64" / "jvm.dll", bin_dir / "server" / "jvm.dll")
        (bin_dir / "server" / "jvm-standin.cfg").write_text("")
        (folder / "release").write_text('JAVA_VERSION="17.0.1"\n')
        return folder

    def vkrgen(self, *args, cwd):
        proc = subprocess.run([str(harness.GENERATOR), *map(str, args)], cwd=cwd, capture_output=True, timeout=120)
        return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")

    def run_packaged(self, folder):
        """/run of the packaged launcher; the stand-in JVM's records."""
        exe = folder / "hello.exe"
        self.addCleanup(harness.remove_logs_of, exe)
        java = harness.win_path(folder / "jre" / "bin" / "java.exe").lower()
        self.addCleanup(harness.reg, "delete", CACHE_KEY + java.replace("\\", "/"), "/f")
        result = harness.run(exe, "/run", "--greet", env=ENV)
        self.assertEqual(result.code, 0, result.stdout + result.stderr)
        records = (folder / "jre" / "bin" / "server" / "jvm-standin.log").read_text(encoding="utf-8").splitlines()
        return records

    def assertReachesMain(self, folder):
        records = self.run_packaged(folder)
        self.assertIn("main com/velkor/runtime/launcher/WinLauncher", records)
        params = [r.split(" ", 2)[2] if r.count(" ") >= 2 else "" for r in records if r.startswith("param ")]
        self.assertEqual(params[1], "com.example.hello.Main")
        self.assertEqual(params[6:], ["--greet"])
        class_path = next(r for r in records if r.startswith("option -Djava.class.path="))
        directory = harness.win_path(folder)
        entries = class_path[len("option -Djava.class.path="):].split(";")
        self.assertEqual(entries, [directory + "\\.velkor\\vkrruntime.jar", directory + "\\hello-1.0.jar",
                                   directory + "\\lib\\greeting.jar"])
        # Every file on the class path is in the folder.
        for entry in entries:
            self.assertTrue((folder / entry[len(directory) + 1:].replace("\\", "/")).is_file(), entry)

    def test_init_package_and_run_under_wine(self):
        project = self.work / "project"
        jar = self.build_application(project)
        runtime = self.stand_in_runtime(self.work / "jdk17-windows")

        code, out, err = self.vkrgen("init", jar, cwd=project)
        self.assertEqual(code, 0, err)
        self.assertIn("vkrgen package hello.toml -o hello-service", out)
        config = (project / "hello.toml").read_text()
        self.assertIn('main-class = "com.example.hello.Main"', config)
        self.assertIn('class-path = ["hello-1.0.jar", "lib\\\\greeting.jar"]', config)

        code, out, err = self.vkrgen("package", "hello.toml", "-o", "hello-service", "--jre", runtime,
                                     "--zip", "hello-service.zip", "--runtime-jar", RUNTIME_JAR,
                                     "--launcher", harness.LAUNCHER, cwd=project)
        self.assertEqual(code, 0, err)
        self.assertIn("hello-service\\hello.exe /install-and-start", out)
        folder = project / "hello-service"
        self.assertEqual(sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()), [
            ".velkor/vkrruntime.jar", "hello-1.0.jar", "hello.exe", "hello.vmoptions", "jre/bin/java.cfg",
            "jre/bin/java.exe", "jre/bin/server/jvm-standin.cfg", "jre/bin/server/jvm.dll", "jre/release",
            "lib/greeting.jar"])
        self.assertReachesMain(folder)

        # The zip unpacked elsewhere is the same folder.
        unpacked = self.work / "server"
        with zipfile.ZipFile(project / "hello-service.zip") as archive:
            self.assertIsNone(archive.testzip())
            archive.extractall(unpacked)
        self.assertReachesMain(unpacked / "hello-service")

    def test_vkrgen_exe_with_paths_no_code_page_holds(self):
        if not GENERATOR_EXE.exists():
            self.skipTest(f"no {GENERATOR_EXE} (built by the Windows tree)")
        # Greek Omega and a CJK character: in no Western ANSI code page, so only UTF-16 paths
        # reach these files.
        project = self.work / "\u03a9mega \u6f22"
        jar = self.build_application(project)
        shutil.copy(harness.LAUNCHER, self.work / "vkrsvc.exe")
        shutil.copy(RUNTIME_JAR, self.work / "vkrruntime.jar")
        tool = self.work / "vkrgen.exe"
        shutil.copy(GENERATOR_EXE, tool)

        result = harness.run(tool, "init", harness.win_path(jar), "-o", harness.win_path(project / "hello.toml"))
        self.assertEqual(result.code, 0, result.stderr)
        self.assertTrue((project / "hello.toml").exists())
        output = project / "hello-service"
        result = harness.run(tool, "package", harness.win_path(project / "hello.toml"), "-o", harness.win_path(output),
                             "--zip", harness.win_path(project / "hello \u6f22.zip"))
        self.assertEqual(result.code, 0, result.stderr)
        self.assertTrue((output / "hello.exe").is_file())
        self.assertTrue((output / ".velkor" / "vkrruntime.jar").is_file())
        self.assertTrue((output / "lib" / "greeting.jar").is_file())
        with zipfile.ZipFile(project / "hello \u6f22.zip") as archive:
            self.assertIn("hello-service/hello-1.0.jar", archive.namelist())

        # Errors, usage errors among them, are one line of one form, with exit code 1; a path
        # in them keeps its characters (UTF-8 when not written to a console).
        cases = [
            (("package",), "vkrgen: error: config is required"),
            (("package", "x.toml", "-o", "out", "--bogus"), "vkrgen: error: The following argument was not expected: --bogus"),
            (("init", harness.win_path(project / "none.jar")), "vkrgen: error: " + harness.win_path(project / "none.jar") +
             ": cannot open the file"),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                result = harness.run(tool, *args)
                self.assertEqual(result.code, 1)
                stderr = result.stderr.encode("latin-1").decode("utf-8")
                self.assertEqual(stderr.splitlines()[0].split(" (vkrgen --help")[0], expected)
                self.assertEqual(len(stderr.splitlines()), 1, stderr)
                self.assertEqual(result.stdout, "")


if __name__ == "__main__":
    unittest.main()
