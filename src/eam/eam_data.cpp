#include "eam/eam_int.h"

void* eam__Attr = nullptr;
