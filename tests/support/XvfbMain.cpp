// main() of the window tests: they run on an X server of their own (Xvfb),
// started here unless the test is only listing its cases. Built with
// FL_WINDOW_MANAGER, a real window manager (openbox) runs on it too: sizing,
// maximising and dialogs behave there as on a desktop.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/main.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fcntl.h>

#include <cstring>
#include <string>
#include <thread>

#include "ui/MessagePump.h"

namespace {

pid_t StartXvfb() {
    for (int display = 90 + int(getpid() % 200); display < 400; ++display) {
        const std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
        if (access(lock.c_str(), F_OK) == 0) continue;
        pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that crashes takes its X server along
            const std::string name = ":" + std::to_string(display);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset",
                   nullptr);
            _exit(127);
        }
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
        for (int i = 0; i < 100; ++i) {
            if (access(socket.c_str(), F_OK) == 0) {
                setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
                return pid;
            }
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) break;  // lost a race for the number: next one
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return -1;
}

#ifdef FL_WINDOW_MANAGER
pid_t StartOpenbox() {
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("openbox", "openbox", "--sm-disable", nullptr);
        _exit(127);
    }
    // Ready once it has claimed the screen (_NET_SUPPORTING_WM_CHECK on the root window).
    for (int i = 0; i < 100; ++i) {
        if (system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strstr(argv[i], "gtest_list_tests")) listing = true;
    if (listing) return RUN_ALL_TESTS();
    pid_t xvfb = StartXvfb();
    if (xvfb < 0) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
#ifdef FL_WINDOW_MANAGER
    const pid_t wm = StartOpenbox();
    if (wm < 0) {
        std::fprintf(stderr, "cannot start openbox\n");
        kill(xvfb, SIGTERM);
        return 1;
    }
#endif
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    setenv("FLAUNCHER_TRACE", "1", 1);  // the flow tests read the status texts from the trace
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "no display\n");
        kill(xvfb, SIGTERM);
        return 1;
    }
    Gtk::Main::init_gtkmm_internals();
    fl::MarkUiThread();
    int rc = RUN_ALL_TESTS();
#ifdef FL_WINDOW_MANAGER
    kill(wm, SIGTERM);
    waitpid(wm, nullptr, 0);
#endif
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return rc;
}
