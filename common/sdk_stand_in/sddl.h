// Stand-in for sddl.h: security descriptors written as text.
#pragma once

#define SDDL_REVISION_1 1
