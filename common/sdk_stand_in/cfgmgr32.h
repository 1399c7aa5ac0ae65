// Stand-in for cfgmgr32.h: device nodes and configuration manager results.
#pragma once

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000
#define CR_SUCCESS 0x00000000
#define CR_FAILURE 0x00000013
#define CR_CALL_NOT_IMPLEMENTED 0x00000034
#define CR_NO_SUCH_DEVNODE 0x0000000D
