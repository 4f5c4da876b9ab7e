package com.velkor.runtime.launcher;

import java.io.BufferedReader;
import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;

/**
 * The service child's side of the stop protocol. Standard input is a pipe from the service
 * host: the line "0" asks for a stop, and the end of input means the host is gone. Either
 * ends the JVM through System.exit(0), so the application's shutdown hooks run. A hook that
 * does not return would keep the service in "stop pending" forever, so the exit is backed by
 * a halt after the stop timeout.
 */
final class ServiceStopWatcher implements Runnable {
    static final String TIMEOUT_PROPERTY = "velkor.stopTimeout";
    static final long DEFAULT_TIMEOUT_SECONDS = 30;
    /** Tells a halted stop (hooks cut short) from a clean one (0) and a failed start (1). */
    static final int HALT_EXIT_CODE = 2;

    /**
     * Set once the stop began. The exit runs on the watcher's thread while main goes on: an
     * application whose main then ends, perhaps with an exception (its loop interrupted, its
     * socket closed by a hook), must not have that taken for a failed start.
     */
    static volatile boolean stopping;

    private final InputStream hostPipe;
    private final long timeoutSeconds;

    private ServiceStopWatcher(InputStream hostPipe, long timeoutSeconds) {
        this.hostPipe = hostPipe;
        this.timeoutSeconds = timeoutSeconds;
    }

    static void start() {
        long timeout = timeoutSeconds(); // read now, so a bad value is reported at start
        InputStream hostPipe = System.in;
        // The pipe belongs to the stop protocol: an application reading System.in would
        // swallow the stop request.
        System.setIn(new ByteArrayInputStream(new byte[0]));
        Thread watcher = new Thread(new ServiceStopWatcher(hostPipe, timeout), "vkr-service-stop");
        watcher.setDaemon(true);
        watcher.start();
    }

    private static long timeoutSeconds() {
        String value = System.getProperty(TIMEOUT_PROPERTY);
        if (value == null) {
            return DEFAULT_TIMEOUT_SECONDS;
        }
        try {
            long seconds = Long.parseLong(value.trim());
            if (seconds >= 0) {
                // The deadline is counted in nanoseconds: beyond this it would wrap.
                return Math.min(seconds, Long.MAX_VALUE / 1_000_000_000L / 2);
            }
        } catch (NumberFormatException e) {
            // reported below
        }
        System.err.println(WinLauncher.PREFIX + TIMEOUT_PROPERTY + "=\"" + value
                + "\" is not a number of seconds (0 for no limit); using "
                + DEFAULT_TIMEOUT_SECONDS);
        return DEFAULT_TIMEOUT_SECONDS;
    }

    @Override
    public void run() {
        try {
            BufferedReader lines =
                    new BufferedReader(new InputStreamReader(hostPipe, StandardCharsets.UTF_8));
            String line;
            while ((line = lines.readLine()) != null) {
                if (line.trim().equals("0")) {
                    break;
                }
                System.err.println(WinLauncher.PREFIX + "ignored line from the service host: \""
                        + line + "\"");
            }
        } catch (IOException e) {
            // A broken pipe is a host that is gone: end like at the end of input.
        }
        stopping = true;
        if (timeoutSeconds > 0) {
            Thread watchdog = new Thread(this::haltAfterTimeout, "vkr-stop-timeout");
            watchdog.setDaemon(true); // daemon threads keep running while the hooks run
            watchdog.start();
        }
        System.exit(0);
    }

    /**
     * For the main thread once the stop began: it waits for the exit (or the halt) to end the
     * process, instead of handing an exception to the launcher, which would end the process
     * at once with 1 while the shutdown hooks run.
     */
    static void awaitExit() {
        while (true) {
            try {
                Thread.sleep(Long.MAX_VALUE);
            } catch (InterruptedException e) {
                // only the end of the process ends this
            }
        }
    }

    private void haltAfterTimeout() {
        long deadline = System.nanoTime() + timeoutSeconds * 1_000_000_000L;
        long left;
        while ((left = deadline - System.nanoTime()) > 0) {
            try {
                Thread.sleep(Math.max(1, left / 1_000_000));
            } catch (InterruptedException e) {
                // nobody is entitled to cancel the stop
            }
        }
        // The report runs in a thread of its own: a hung hook may hold System.err's lock, and
        // the halt must not wait for it.
        Thread report = new Thread(() -> System.err.println(WinLauncher.PREFIX
                + "the JVM did not end within " + timeoutSeconds + " s of the stop request ("
                + TIMEOUT_PROPERTY + "); halting it with exit code " + HALT_EXIT_CODE),
                "vkr-stop-report");
        report.setDaemon(true);
        report.start();
        try {
            report.join(1000);
        } catch (InterruptedException e) {
            // halt anyway
        }
        Runtime.getRuntime().halt(HALT_EXIT_CODE);
    }
}
