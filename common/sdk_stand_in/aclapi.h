// Stand-in for aclapi.h: the security of an object reached through its handle.
#pragma once

#include "common/sdk_stand_in/windef.h"

enum SE_OBJECT_TYPE {
    SE_UNKNOWN_OBJECT_TYPE = 0,
    SE_FILE_OBJECT,
    SE_SERVICE,
    SE_PRINTER,
    SE_REGISTRY_KEY,
    SE_LMSHARE,
    SE_KERNEL_OBJECT,
};
