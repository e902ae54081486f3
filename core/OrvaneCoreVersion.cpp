#include "core/OrvaneCoreVersion.h"

extern "C" {
const double OrvaneCoreVersionNumber = ORVANE_VERSION_NUMBER;
const unsigned char OrvaneCoreVersionString[] = "@(#)PROGRAM:OrvaneCore  PROJECT:Orvane-" ORVANE_VERSION "\n";
}
