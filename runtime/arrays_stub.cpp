// Placeholder so the tree links until arrays.cpp lands; delete it then.
#include "runtime/arrays.h"
uint32_t erase_array(ArrayDescriptor*) { return 0; }
