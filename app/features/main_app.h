// The application: one copy per user, the capture library loaded before the
// main window exists, the settings read, then the main window until it closes.
#pragma once

namespace tarvolin {

class CMainApp {
public:
    // The program's exit status.
    int run(int argc, char **argv);
};

}
