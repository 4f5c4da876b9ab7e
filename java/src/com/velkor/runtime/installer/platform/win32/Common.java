package com.velkor.runtime.installer.platform.win32;

/**
 * Whether the launcher's native helper library is usable from Java. The launcher calls
 * {@link #initFromLauncher} with true before the library registers its natives, and again
 * with false when that registration failed, so the last call is the one that holds.
 */
public final class Common {
    private static volatile boolean nativeHelpers;

    private Common() {
    }

    /** Called through JNI with the signature (Z)V, which must not change. */
    public static void initFromLauncher(boolean nativeHelpersAvailable) {
        nativeHelpers = nativeHelpersAvailable;
    }

    /**
     * False also when no launcher reported (a plain java command): then nothing registered
     * the natives, and calling one would fail with UnsatisfiedLinkError.
     */
    public static boolean isNativeHelpersAvailable() {
        return nativeHelpers;
    }
}
