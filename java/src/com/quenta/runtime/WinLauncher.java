package com.quenta.runtime;

import com.velkor.runtime.launcher.SplashSettings;

/**
 * Entry point of the older launcher flavour: the same contract as
 * {@link com.velkor.runtime.launcher.WinLauncher}, plus the splash configuration call.
 */
public final class WinLauncher {
    private WinLauncher() {
    }

    public static void main(String[] args) throws Throwable {
        com.velkor.runtime.launcher.WinLauncher.main(args);
    }

    /**
     * Called through JNI with the signature
     * (ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V,
     * which must not change. Records the values (see {@link SplashSettings}).
     */
    public static void initAwtSplashConfig(boolean enabled, boolean flag,
            String statusText, int statusX, int statusY,
            String statusColor, int statusFontSize, int statusFontWeight,
            String versionText, int versionX, int versionY,
            String versionColor, int versionFontSize, int versionFontWeight) {
        SplashSettings.record(new SplashSettings(enabled, flag,
                statusText, statusX, statusY, statusColor, statusFontSize, statusFontWeight,
                versionText, versionX, versionY, versionColor, versionFontSize, versionFontWeight));
    }
}
