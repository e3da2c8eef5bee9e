// Stand-in for the direct link's decoder until it is part of the build: ignores every byte.
#include "serial/SerialApi.h"

extern "C" void SC_CALL HandInts(generic_port*) {}
