// Built into the web-engine tests under the sanitizers only: ASan reads its
// defaults from here, then ASAN_OPTIONS on top.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
