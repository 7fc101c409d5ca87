#pragma once
// A private X server (Xvfb) for tests that open windows: started on a free display number that
// the server picks itself (-displayfd), made $DISPLAY, and stopped when the object goes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace marvex::test {

class VirtualDisplay {
public:
    VirtualDisplay() {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe failed");
        mPid = ::fork();
        if (mPid == 0) {
            ::close(ready[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test that crashes takes its server along
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        // The server writes its display number once it accepts connections.
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c;
        while (::poll(&wait, 1, 20000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(ready[0]);
        if (number.empty()) {
            stop();
            throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
        }
        mName = ":" + number;
        ::setenv("DISPLAY", mName.c_str(), 1);
    }
    ~VirtualDisplay() { stop(); }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return mName; }

private:
    void stop() {
        if (mPid <= 0) return;
        ::kill(mPid, SIGTERM);
        ::waitpid(mPid, nullptr, 0);
        mPid = -1;
    }

    pid_t mPid = -1;
    std::string mName;
};

}  // namespace marvex::test
