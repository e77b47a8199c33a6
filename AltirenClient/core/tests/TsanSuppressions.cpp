// ThreadSanitizer suppressions of the test programs that run the management-server
// stand-in. The system's HTTP server library is not built with the sanitizer, so the
// hand-over of work between its pool threads is invisible to it and shows as races
// inside that library alone. Races in our own code are still reported.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}
