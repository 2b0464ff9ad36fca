// The program's version, in the forms the version record needs. The numbers come from the VERSION
// file at the top of the tree, through the version_numbers.h that CMake generates.
#ifndef VOSSEL_VERSION_H
#define VOSSEL_VERSION_H

#include "version_numbers.h"

#define VOSSEL_VERSION_NUMBERS \
    VOSSEL_VERSION_MAJOR, VOSSEL_VERSION_MINOR, VOSSEL_VERSION_BUILD, VOSSEL_VERSION_REVISION

#endif  // VOSSEL_VERSION_H
