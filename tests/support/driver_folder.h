// The shipped driver folder, laid out on a simulated machine.
#pragma once

#include <string>

#include "sim/machine.h"

// Where the stories unpack the shipped driver folder.
inline const std::wstring kDriverFolder = L"C:\\Drivers\\PX Series\\";

// The demo INF and stand-ins for the driver files, under `folder` (ending in a backslash).
void WriteDriverFolder(sim::Machine& machine, const std::wstring& folder);
// The driver folder as shipped: its files, PrinterSetup.exe and unins000.exe.
void InstallDriverFolder(sim::Machine& machine, const std::wstring& folder);
// A plugged-in printer of the family: "VADedudoro <model>" on that port.
sim::UsbPrinter FamilyPrinter(const std::wstring& serial, DWORD port, const std::wstring& model);
