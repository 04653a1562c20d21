// Run-time options of the sanitizer build, compiled into each of its programs so
// that every run (tests, their discovery, the self-test, fuzzing) fails on the
// first report without any environment; the environment can still override them.

// Leaks stay on, with only fontconfig's and libdbus's suppressed: fontconfig
// keeps caches until the process ends on purpose, and libdbus drops a buffer
// when it finds no session bus, both of which LeakSanitizer would report at
// every exit. ICU stays checked, so a matcher we fail to free shows.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

// No recording of dynamic thread-local storage (the windows' library is loaded
// at run time, so its thread_local variables live there). GCC 12's runtime takes
// a block that lands 16 bytes into a page for one with an old glibc's header and
// records the two words before it, an allocator header here, as the block's
// place and size; the leak check at exit then reads that range and fails with
// "Tracer caught signal 11". Which inputs do so changes with every build; each
// build has a few in a few hundred Markdown files, and fails on them every time.
// The blocks are heap blocks the check reaches through the thread's own
// storage, so nothing goes unchecked.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options()
{
    return "detect_leaks=1:abort_on_error=0:check_initialization_order=1:intercept_tls_get_addr=0";
}

extern "C" __attribute__((used, visibility("default"))) const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}
