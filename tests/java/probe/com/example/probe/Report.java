package com.example.probe;

import com.velkor.runtime.installer.platform.win32.Common;
import com.velkor.runtime.launcher.SplashSettings;

/**
 * Started through WinLauncher after a launcher made its other calls: prints what the runtime
 * kept of them (the splash values, the native helpers flag) and the module name property.
 */
public final class Report {
    public static void main(String[] args) {
        SplashSettings s = SplashSettings.received();
        System.out.println(s == null ? "splash=none" : "splash=" + s.enabled + " " + s.flag
                + " [" + s.statusText + " " + s.statusX + " " + s.statusY + " " + s.statusColor
                + " " + s.statusFontSize + " " + s.statusFontWeight + "]"
                + " [" + s.versionText + " " + s.versionX + " " + s.versionY + " " + s.versionColor
                + " " + s.versionFontSize + " " + s.versionFontWeight + "]");
        System.out.println("helpers=" + Common.isNativeHelpersAvailable());
        StringBuilder name = new StringBuilder();
        System.getProperty("quenta.moduleName", "(unset)").codePoints()
                .forEach(cp -> name.append(name.length() == 0 ? "" : " ").append(Integer.toHexString(cp)));
        System.out.println("moduleName=" + name);
    }
}
