// xerces-c 3.2.4 as Debian 12 ships it leaves one declaration behind each time it reads
// the external DTD subset of a document: IGXMLScanner::scanDocTypeDecl makes an entity
// declaration for the subset and never frees it (144 bytes with its name and system
// identifier for "Topovel_1_2.dtd"). So every validating parse of a document whose
// DOCTYPE names a DTD file leaks once; a parse without validation does not read the
// external subset and leaks nothing. Test programs that validate such documents link
// this object so that LeakSanitizer does not report it.
//
// The suppression names the function that makes the declaration and nothing around it.
// xerces-c is built without frame pointers, so the fast unwinder loses that frame (and
// shows a caller instead): these programs take allocation stacks with the full
// unwinder, ten frames deep, which costs no more time than the fast one at its default
// depth.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0:malloc_context_size=10";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:xercesc_3_2::IGXMLScanner::scanDocTypeDecl\n";
}
