// A module for the loader tests: one export, no state.
extern "C" __attribute__((visibility("default"))) int TlxTestModuleAnswer() { return 42; }
