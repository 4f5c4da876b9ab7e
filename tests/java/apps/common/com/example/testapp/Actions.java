package com.example.testapp;

import java.io.IOException;
import java.io.InputStream;
import java.util.concurrent.CountDownLatch;

/**
 * What the test applications do, chosen by their arguments. Every argument is first echoed
 * as "arg[i]=" and its code points in hex, so a test sees exactly what arrived; then each
 * argument that starts with "@" is carried out in order (see tests/java/README.md).
 */
public final class Actions {
    private Actions() {
    }

    public static void run(String[] args) throws Exception {
        // First of all: a benchmark compares it with the moment its JVM was created.
        long entered = System.nanoTime();
        System.out.println("argc=" + args.length);
        for (int i = 0; i < args.length; i++) {
            System.out.println("arg[" + i + "]=" + codePoints(args[i]));
        }
        for (String arg : args) {
            if (!arg.startsWith("@")) {
                continue;
            }
            int eq = arg.indexOf('=');
            String command = eq < 0 ? arg : arg.substring(0, eq);
            String value = eq < 0 ? "" : arg.substring(eq + 1);
            switch (command) {
                case "@out":
                    System.out.println(value);
                    break;
                case "@err":
                    System.err.println(value);
                    break;
                case "@prop":
                    System.out.println("prop " + value + "=" + System.getProperty(value, "(unset)"));
                    break;
                case "@entered":
                    System.out.println("entered=" + entered);
                    break;
                case "@where":
                    String module = Actions.class.getModule().getName();
                    System.out.println("module=" + (module == null ? "unnamed" : module));
                    break;
                case "@stdin":
                    System.out.println("stdin=" + drain(System.in) + " bytes");
                    break;
                case "@hook":
                    Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println(value)));
                    break;
                case "@hang-hook":
                    Runtime.getRuntime().addShutdownHook(new Thread(Actions::hang));
                    break;
                case "@thread":
                    long millis = Long.parseLong(value);
                    new Thread(() -> {
                        sleep(millis);
                        System.out.println("thread done");
                    }).start();
                    break;
                case "@serve": {
                    // A service's main as it is often written: it runs until a shutdown hook
                    // ends it, and then ends itself with an exception.
                    CountDownLatch stop = new CountDownLatch(1);
                    Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                        stop.countDown();
                        sleep(1000);
                        System.out.println("state saved");
                    }));
                    System.err.println("serving");
                    stop.await();
                    throw new IllegalStateException("serving ended: " + value);
                }
                case "@close-out":
                    System.out.close();
                    break;
                case "@exit":
                    System.exit(Integer.parseInt(value));
                    break;
                case "@throw":
                    throw new IllegalStateException(value);
                default:
                    throw new IllegalArgumentException("unknown test application command " + arg);
            }
        }
    }

    private static String codePoints(String s) {
        StringBuilder hex = new StringBuilder();
        s.codePoints().forEach(cp -> hex.append(hex.length() == 0 ? "" : " ").append(Integer.toHexString(cp)));
        return hex.toString();
    }

    private static long drain(InputStream in) throws IOException {
        long count = 0;
        byte[] buffer = new byte[4096];
        for (int n; (n = in.read(buffer)) >= 0; ) {
            count += n;
        }
        return count;
    }

    private static void hang() {
        System.out.println("hook hangs");
        while (true) {
            sleep(Long.MAX_VALUE);
        }
    }

    private static void sleep(long millis) {
        try {
            Thread.sleep(millis);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }
}
