// Install mode: hands over to the folder's uninstaller when the family is
// installed, else installs every supported printer that is plugged in.
#pragma once

void RunInstallMode();
