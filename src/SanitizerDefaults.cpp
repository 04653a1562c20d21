// Run-time options of the sanitizer build, compiled into each of its programs so
// that every run (tests, their discovery, the self-test, fuzzing) fails on the
// first report without any environment; the environment can still override them.

// Leaks stay on, with the ones that are not ours suppressed: Qt, fontconfig and
// the libraries beneath them keep caches and singletons until the process ends
// on purpose, which LeakSanitizer would report at every exit.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libQt6Core.so\n"
           "leak:libQt6Gui.so\n"
           "leak:libQt6Widgets.so\n"
           "leak:libQt6Network.so\n"
           "leak:libfontconfig.so\n"
           "leak:libfreetype.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libicuuc.so\n"
           "leak:libicui18n.so\n";
}

extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0:check_initialization_order=1";
}

extern "C" __attribute__((used, visibility("default"))) const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}
