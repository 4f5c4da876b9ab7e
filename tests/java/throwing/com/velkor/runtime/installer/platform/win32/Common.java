package com.velkor.runtime.installer.platform.win32;

/** Stands for a runtime whose helper initialisation throws, in place of the real class. */
public final class Common {
    private Common() {
    }

    public static void initFromLauncher(boolean nativeHelpersAvailable) {
        throw new IllegalStateException("helpers refused " + nativeHelpersAvailable);
    }
}
