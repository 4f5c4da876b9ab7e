package com.quenta.runtime;

/**
 * Stands for a runtime whose splash configuration throws (a colour it cannot read): put before
 * vkrruntime.jar on the class path, it takes the place of the real class.
 */
public final class WinLauncher {
    private WinLauncher() {
    }

    public static void initAwtSplashConfig(boolean enabled, boolean flag,
            String statusText, int statusX, int statusY,
            String statusColor, int statusFontSize, int statusFontWeight,
            String versionText, int versionX, int versionY,
            String versionColor, int versionFontSize, int versionFontWeight) {
        throw new IllegalArgumentException("bad colour " + versionColor);
    }
}
