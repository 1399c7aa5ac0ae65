// The install loop: scan, install every supported printer, report each, and
// keep asking until something was installed or the user gives up. Returns
// what happened as an exit code (common/run_options.h).
#pragma once

int RunInstallLoop();
