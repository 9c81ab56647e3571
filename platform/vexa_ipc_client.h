// Platform IPC client: virtual AC power-cycle request.
//
// Host implementation: writes the request to standard error and returns 0.
#ifndef VEXA_IPC_CLIENT_H
#define VEXA_IPC_CLIENT_H

#include <cstdint>

// command 4; cycleType 2 or 3; responseSize the size of *response in bytes.
extern "C" int VirtualAcCycleReq_IPCClient(int32_t* command, int32_t* cycleType,
                                           int32_t* responseSize, uint8_t** response);

#endif // VEXA_IPC_CLIENT_H
