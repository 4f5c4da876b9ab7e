package com.velkor.runtime.launcher;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.io.UnsupportedEncodingException;
import java.util.ArrayList;
import java.util.List;

/**
 * Points System.out and System.err at the configured log files.
 *
 * <p>The files are written in UTF-8, whatever the platform encoding: on Windows that is an
 * ANSI code page up to Java 17, which cannot hold most characters and would give log files
 * whose encoding depends on the machine and the Java version. Bytes that the application
 * writes itself (System.out.write) pass unchanged.
 */
final class OutputRedirection {
    private OutputRedirection() {
    }

    static void install(String errorLog, String outputLog) {
        List<String> reports = new ArrayList<String>();
        File errorFile = usableFile("Error log file", errorLog, "standard error", reports);
        File outputFile = usableFile("Output log file", outputLog, "standard output", reports);
        // Under the launcher's /run command the console is the place to look.
        if (!"true".equals(System.getProperty("velkor.noRedir"))) {
            PrintStream consoleOut = System.out;
            PrintStream consoleErr = System.err;
            PrintStream errorStream = null;
            if (errorFile != null) {
                errorStream = open(errorFile, consoleErr, consoleErr);
                System.setErr(errorStream);
            }
            if (outputFile != null) {
                // One file for both: one stream and one lock, so that a line printed on one
                // channel never lands between the text and the line end of the other's.
                boolean shared = errorStream != null && sameFile(errorFile, outputFile);
                System.setOut(shared ? errorStream : open(outputFile, consoleOut, consoleErr));
            }
        }
        for (String report : reports) {
            System.err.println(report);
        }
    }

    /** "a.log" and ".\\a.log" are one file, and get one stream. */
    private static boolean sameFile(File first, File second) {
        try {
            return first.getCanonicalFile().equals(second.getCanonicalFile());
        } catch (IOException e) {
            return first.getAbsoluteFile().equals(second.getAbsoluteFile());
        }
    }

    /** A name that still starts with "$" holds a variable the launcher could not expand. */
    private static File usableFile(String what, String name, String channel, List<String> reports) {
        if (name.isEmpty()) {
            return null;
        }
        if (name.startsWith("$")) {
            reports.add(WinLauncher.PREFIX + what + " \"" + name + "\": variable not expanded, not"
                    + " used; " + channel + " is not redirected");
            return null;
        }
        return new File(name);
    }

    private static PrintStream open(File file, PrintStream fallback, PrintStream reportTo) {
        try {
            // Autoflush, over an unbuffered file: what was printed is on disk even when the
            // stop timeout halts the JVM without running anything else.
            return new LogStream(new LazyFileStream(file, fallback, reportTo));
        } catch (UnsupportedEncodingException e) {
            throw new AssertionError("UTF-8 is always supported", e);
        }
    }

    /**
     * Opens its file (appending, creating missing directories) at the first write, so a log
     * file exists only when something was written to it. A file that cannot be opened is
     * reported once on the console and the channel stays on the console.
     */
    /**
     * A log channel lives as long as the JVM: close only flushes. An application that closes
     * System.out would otherwise close System.err too when both share one file (one stream),
     * and the report of its failure, or of a halted stop, would be lost without a trace.
     */
    private static final class LogStream extends PrintStream {
        LogStream(OutputStream file) throws UnsupportedEncodingException {
            super(file, true, "UTF-8");
        }

        @Override
        public void close() {
            flush();
        }
    }

    private static final class LazyFileStream extends OutputStream {
        private final File file;
        private final OutputStream fallback;
        private final PrintStream reportTo;
        private OutputStream target;

        LazyFileStream(File file, OutputStream fallback, PrintStream reportTo) {
            this.file = file;
            this.fallback = fallback;
            this.reportTo = reportTo;
        }

        private OutputStream target() {
            if (target == null) {
                try {
                    File directory = file.getAbsoluteFile().getParentFile();
                    if (directory != null && !directory.isDirectory()) {
                        directory.mkdirs(); // a failure shows as the open's failure below
                    }
                    target = new FileOutputStream(file, true);
                } catch (IOException | SecurityException e) {
                    target = fallback;
                    reportTo.println(WinLauncher.PREFIX + "cannot write the log file " + file
                            + " (" + e.getMessage() + "); writing to the console instead");
                }
            }
            return target;
        }

        @Override
        public synchronized void write(int b) throws IOException {
            target().write(b);
        }

        @Override
        public synchronized void write(byte[] b, int off, int len) throws IOException {
            target().write(b, off, len);
        }

        @Override
        public synchronized void flush() throws IOException {
            if (target != null) {
                target.flush();
            }
        }

        @Override
        public synchronized void close() throws IOException {
            flush();  // see LogStream
        }
    }
}
