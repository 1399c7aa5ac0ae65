// Stand-in for newdev.h: updating the driver of Plug and Play devices.
#pragma once

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_NONINTERACTIVE 0x00000004
