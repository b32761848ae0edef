// FLauncher_zelt.exe without a display front end: runs the start-up sequence.
#include "app/WobrApp.h"

int main(int argc, char** argv) {
    fl::CWobrApp app;
    auto result = app.InitInstance(argc, argv);
    if (result == fl::CWobrApp::InitResult::RunWindow) app.ExitInstance();
    return result == fl::CWobrApp::InitResult::Failed ? 1 : 0;
}
