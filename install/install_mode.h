// Install mode: hands over to the folder's uninstaller when the family is
// installed (not in an unattended run), else installs every supported printer
// that is plugged in. Returns what happened as an exit code.
#pragma once

int RunInstallMode();
