package com.velkor.runtime.launcher;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;
import java.util.Optional;

/**
 * Entry point that the native launcher calls on the JVM's main thread, after it has created
 * the JVM in its own process. Arguments: windowed flag, main class, error log file, output
 * log file, log flag, then the application's own arguments.
 *
 * <p>Whatever leaves {@link #main} is reported by the launcher, which then exits with 1, so
 * every failure here is an exception with a text that stands on its own in a log.
 */
public final class WinLauncher {
    static final String PREFIX = "vkrruntime: ";

    private static final int FIXED_ARGUMENTS = 5;

    private WinLauncher() {
    }

    /**
     * Redirects the standard streams, arms the service stop protocol and calls the
     * application's {@code main}. Returns when that returns; the launcher's DestroyJavaVM then
     * waits for the application's other non-daemon threads.
     *
     * @throws Throwable the application's own exception, not a reflection wrapper, so the
     *     launcher logs the application's text
     */
    public static void main(String[] args) throws Throwable {
        if (args == null || args.length < FIXED_ARGUMENTS) {
            throw new IllegalArgumentException("Expected at least " + FIXED_ARGUMENTS
                    + " arguments (windowed flag, main class, error log file, output log file,"
                    + " log flag), got " + (args == null ? 0 : args.length));
        }
        // args[0] (windowed) and args[4] (log flag) are accepted and ignored: the runtime does
        // the same for console and windowed launchers, and appends to the log files either way.
        String mainClass = args[1];
        String[] applicationArguments = Arrays.copyOfRange(args, FIXED_ARGUMENTS, args.length);

        // Redirection first, so that a main class that cannot be found is reported into the
        // error log of a service, where an administrator looks for it.
        OutputRedirection.install(args[2], args[3]);
        if ("true".equals(System.getProperty("quenta.isService"))) {
            // Before the main class is loaded: a stop request must work at any moment.
            ServiceStopWatcher.start();
        }

        Thread current = Thread.currentThread();
        if (current.getContextClassLoader() == null) {
            // A thread attached through JNI may have none; applications expect the system one.
            current.setContextClassLoader(ClassLoader.getSystemClassLoader());
        }

        Method main = findMain(loadMainClass(mainClass));
        RuntimeException denied = null;
        try {
            // Needed when the class is not public, or sits in a package of a named module that
            // is opened to this runtime but not exported.
            main.setAccessible(true);
        } catch (RuntimeException e) {
            denied = e; // the invocation may still be allowed (public, exported): try it
        }
        if (ServiceStopWatcher.stopping) {
            // Stopped before the application started: it is not started during the shutdown.
            ServiceStopWatcher.awaitExit();
        }
        try {
            main.invoke(null, (Object) applicationArguments);
        } catch (InvocationTargetException e) {
            Throwable own = e.getCause();
            Throwable thrown = own != null ? own : e;
            if (ServiceStopWatcher.stopping) {
                // Ended by the stop: said in the error log, and the stop goes on to its clean end.
                System.err.println(PREFIX + "main ended with an exception during the stop:");
                thrown.printStackTrace();
                ServiceStopWatcher.awaitExit();
            }
            throw thrown;
        } catch (IllegalAccessException e) {
            Class<?> type = main.getDeclaringClass();
            String name = type.getName();
            String pkg = name.lastIndexOf('.') < 0 ? "" : name.substring(0, name.lastIndexOf('.'));
            IllegalAccessException report = new IllegalAccessException("The main method of "
                    + name + " is not accessible to module com.velkor.runtime; its package must"
                    + " be opened to it: --add-opens=" + moduleName(type) + "/" + pkg
                    + "=com.velkor.runtime" + (denied != null ? " (" + denied.getMessage() + ")" : ""));
            report.initCause(denied != null ? denied : e);
            throw report;
        }
    }

    /** Class.getModule().getName() for Java 8 code; "?" where that cannot be told. */
    private static String moduleName(Class<?> type) {
        try {
            Object module = Class.class.getMethod("getModule").invoke(type);
            Object name = module.getClass().getMethod("getName").invoke(module);
            return name != null ? (String) name : "?";
        } catch (ReflectiveOperationException | RuntimeException e) {
            return "?";
        }
    }

    /**
     * Resolves the configured main class. {@code "/module/class"} is looked up in that module
     * of the boot layer. A leading "/" without a second one names no module: the rest is a
     * class name, loaded as in class path mode through the system class loader, which also
     * defines the classes of the boot layer's application modules.
     */
    static Class<?> loadMainClass(String configured) throws ClassNotFoundException {
        if (!configured.startsWith("/")) {
            return loadThroughSystemLoader(configured, "on the class path");
        }
        String rest = configured.substring(1);
        int slash = rest.indexOf('/');
        if (slash < 0) {
            return loadThroughSystemLoader(rest, "through the system class loader");
        }
        String moduleName = rest.substring(0, slash);
        String className = rest.substring(slash + 1);
        if (moduleName.isEmpty() || className.isEmpty() || className.indexOf('/') >= 0) {
            throw new IllegalArgumentException("Main class \"" + configured
                    + "\" is not of the form /module/class");
        }
        return loadFromBootLayer(moduleName, className);
    }

    private static Class<?> loadThroughSystemLoader(String className, String where)
            throws ClassNotFoundException {
        if (className.isEmpty()) {
            throw new IllegalArgumentException("No main class configured");
        }
        try {
            // Not initialized here: a static initializer's failure then surfaces from the
            // invocation as the application's own error.
            return Class.forName(className, false, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            throw new ClassNotFoundException("Main class " + className + " not found " + where, e);
        }
    }

    /** Through reflection: the runtime is compiled for Java 8, which has no module API. */
    private static Class<?> loadFromBootLayer(String moduleName, String className)
            throws ClassNotFoundException {
        Class<?> layerType;
        Class<?> moduleType;
        try {
            layerType = Class.forName("java.lang.ModuleLayer");
            moduleType = Class.forName("java.lang.Module");
        } catch (ClassNotFoundException e) {
            throw new UnsupportedOperationException("Main class /" + moduleName + "/" + className
                    + " names a module, which needs Java 9 or later; this is Java "
                    + System.getProperty("java.version"));
        }
        Object module;
        Class<?> found;
        try {
            Object boot = layerType.getMethod("boot").invoke(null);
            Optional<?> inLayer =
                    (Optional<?>) layerType.getMethod("findModule", String.class).invoke(boot, moduleName);
            if (!inLayer.isPresent()) {
                throw new ClassNotFoundException("Module " + moduleName + " of main class "
                        + className + " is not in the boot layer (module path and --add-modules)");
            }
            module = inLayer.get();
            found = (Class<?>) Class.class.getMethod("forName", moduleType, String.class)
                    .invoke(null, module, className);
        } catch (NoSuchMethodException | IllegalAccessException | InvocationTargetException e) {
            throw new IllegalStateException("Module lookup of " + moduleName + " failed", e);
        }
        if (found == null) {
            throw new ClassNotFoundException("Main class " + className + " not found in module "
                    + moduleName);
        }
        return found;
    }

    private static Method findMain(Class<?> mainClass) throws NoSuchMethodException {
        Method main;
        try {
            main = mainClass.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            main = null;
        }
        if (main == null || !Modifier.isStatic(main.getModifiers())
                || main.getReturnType() != void.class) {
            throw new NoSuchMethodException("Main class " + mainClass.getName()
                    + " has no method public static void main(String[])");
        }
        return main;
    }
}
