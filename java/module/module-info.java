// An explicit descriptor, kept in META-INF/versions/9 of a multi-release jar so that Java 8
// and Java 8 tools never see it, rather than an Automatic-Module-Name in the manifest:
// - resolving an automatic module resolves every other automatic module on the module path
//   too, so the application's boot layer would depend on which plain jars lie beside it
//   (two of them with one package, and the JVM does not start); this module requires
//   java.base alone;
// - only the packages the launcher and the application use are exported.
// The launcher's --add-opens=<app module>/<package>=com.velkor.runtime needs a named module
// here either way, for the reflective call of a main class in a package that is not exported.
module com.velkor.runtime {
    exports com.quenta.runtime;
    exports com.velkor.runtime.launcher;
    exports com.velkor.runtime.installer.platform.win32;
}
