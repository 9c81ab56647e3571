// Host IPC client: reports the virtual AC cycle request on standard error.
#include "vexa_ipc_client.h"

#include <cinttypes>
#include <cstdio>

extern "C" __attribute__((visibility("default"))) int
VirtualAcCycleReq_IPCClient(int32_t* command, int32_t* cycleType, int32_t* responseSize,
                            uint8_t** response) {
    if (command == nullptr || cycleType == nullptr || responseSize == nullptr ||
        response == nullptr)
        return -1;
    std::fprintf(stderr,
                 "VirtualAcCycleReq_IPCClient: command=%" PRId32 " cycleType=%" PRId32
                 " responseSize=%" PRId32 "\n",
                 *command, *cycleType, *responseSize);
    return 0;
}
