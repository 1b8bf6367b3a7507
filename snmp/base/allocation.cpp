#include "snmp/base/allocation.h"

std::atomic<EngineAllocator> engineAllocator{&std::calloc};

EngineAllocator setEngineAllocator(EngineAllocator replacement)
{
    return engineAllocator.exchange(replacement != nullptr ? replacement : &std::calloc);
}
