// The host's basic suite: named, versioned suites handed out and taken back.
#pragma once

#include <cstdint>

extern "C" {

typedef int32_t SPErr;
typedef uint8_t SPBoolean;

enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x53214e46 /* 'S!NF' */ };

typedef struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
} SPBasicSuite;

}  // extern "C"
