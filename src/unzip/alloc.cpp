// The engine's heap blocks. Kept apart so that tests can link a version
// that fails on demand.
#include "engine.h"

#include <stdlib.h>

void *EngineAlloc(size_t size)
{
    return malloc(size);
}

void EngineFree(void *block)
{
    free(block);
}
