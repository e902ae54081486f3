#pragma once
// Version of the OrvaneCore library, exported with C linkage so any caller
// (or a dlsym probe) can read it without C++ name mangling.
extern "C" {
__attribute__((visibility("default"))) extern const double OrvaneCoreVersionNumber;
__attribute__((visibility("default"))) extern const unsigned char OrvaneCoreVersionString[];
}
