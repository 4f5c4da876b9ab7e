package com.velkor.runtime.launcher;

/**
 * The splash screen values that a launcher hands over after creating the JVM: a status line
 * and a version line, each with text, position, colour ("r,g,b"), font size and weight.
 *
 * <p>They are recorded and nothing is drawn: a service runs without a desktop, and the
 * runtime stays free of AWT so that it needs nothing beyond java.base.
 */
public final class SplashSettings {
    private static volatile SplashSettings received;

    public final boolean enabled;
    public final boolean flag;
    public final String statusText;
    public final int statusX;
    public final int statusY;
    public final String statusColor;
    public final int statusFontSize;
    public final int statusFontWeight;
    public final String versionText;
    public final int versionX;
    public final int versionY;
    public final String versionColor;
    public final int versionFontSize;
    public final int versionFontWeight;

    public SplashSettings(boolean enabled, boolean flag,
            String statusText, int statusX, int statusY,
            String statusColor, int statusFontSize, int statusFontWeight,
            String versionText, int versionX, int versionY,
            String versionColor, int versionFontSize, int versionFontWeight) {
        this.enabled = enabled;
        this.flag = flag;
        this.statusText = statusText;
        this.statusX = statusX;
        this.statusY = statusY;
        this.statusColor = statusColor;
        this.statusFontSize = statusFontSize;
        this.statusFontWeight = statusFontWeight;
        this.versionText = versionText;
        this.versionX = versionX;
        this.versionY = versionY;
        this.versionColor = versionColor;
        this.versionFontSize = versionFontSize;
        this.versionFontWeight = versionFontWeight;
    }

    /** For the launcher entry points, which sit in packages of both launcher flavours. */
    public static void record(SplashSettings settings) {
        received = settings;
    }

    /** The values of the last call from the launcher, or null when there was none. */
    public static SplashSettings received() {
        return received;
    }
}
