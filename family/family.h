// What makes a driver, a package or a monitor the family's: the names of its
// files, compared as the spooler and the file system compare them.
#pragma once

#include "common/wintypes.h"

// Names the spooler and the file system compare without case; outside ASCII
// only exact matches count, which is all the family's names need.
bool EqualsIgnoringAsciiCase(const WCHAR* a, const WCHAR* b);
// A driver whose rendering DLL is the family's.
bool IsFamilyDriver(const DRIVER_INFO_8W& driver);
// A stored package whose path names the family's INF.
bool IsFamilyPackage(const WCHAR* storedInfPath);
// A monitor DLL, with or without its folder, that is the family's.
bool IsFamilyMonitorDll(const WCHAR* dll);
