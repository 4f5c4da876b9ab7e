package com.example.probe;

import com.quenta.runtime.WinLauncher;
import com.velkor.runtime.installer.platform.win32.Common;
import com.velkor.runtime.launcher.SplashSettings;

/** Makes the launcher's calls besides main, in the launcher's order, and prints what the runtime kept. */
public final class Probe {
    public static void main(String[] args) {
        System.out.println("helpers before=" + Common.isNativeHelpersAvailable());
        Common.initFromLauncher(true);
        System.out.println("helpers after true=" + Common.isNativeHelpersAvailable());
        Common.initFromLauncher(false);
        System.out.println("helpers after false=" + Common.isNativeHelpersAvailable());

        System.out.println("splash before=" + SplashSettings.received());
        WinLauncher.initAwtSplashConfig(true, false, "Starting", 20, 21, "1,2,3", 8, 500,
                "version 1.3.2", 22, 40, "4,5,6", 9, 700);
        SplashSettings s = SplashSettings.received();
        System.out.println("splash=" + s.enabled + " " + s.flag
                + " [" + s.statusText + " " + s.statusX + " " + s.statusY + " " + s.statusColor
                + " " + s.statusFontSize + " " + s.statusFontWeight + "]"
                + " [" + s.versionText + " " + s.versionX + " " + s.versionY + " " + s.versionColor
                + " " + s.versionFontSize + " " + s.versionFontWeight + "]");
    }
}
