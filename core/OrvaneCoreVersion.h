#pragma once
// Version of the OrvaneCore library, exported with C linkage so any caller
// (or a dlsym probe) can read it without C++ name mangling.
extern "C" {
extern const double OrvaneCoreVersionNumber;
extern const unsigned char OrvaneCoreVersionString[];
}
