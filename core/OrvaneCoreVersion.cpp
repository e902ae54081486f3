#include "core/OrvaneCoreVersion.h"

extern "C" {
__attribute__((visibility("default"))) const double OrvaneCoreVersionNumber = ORVANE_VERSION_NUMBER;
__attribute__((visibility("default"))) const unsigned char OrvaneCoreVersionString[] =
    "@(#)PROGRAM:OrvaneCore  PROJECT:Orvane-" ORVANE_VERSION "\n";
}
