// The install loop: scan, install every supported printer, report each, and
// keep asking until something was installed or the user gives up.
#pragma once

int RunInstallLoop();
