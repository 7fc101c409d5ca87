#include "host/live/TerminalDisplay.h"

#include <poll.h>
#include <unistd.h>
#include <cerrno>

#include <thread>

#include "host/live/LiveText.h"

namespace marvex {
namespace {

constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";

std::optional<LiveRequest> requestFor(char key) {
    switch (key) {
        case '+':
        case '=':
            return LiveRequest::RaisePitch;
        case '-':
        case '_':
            return LiveRequest::LowerPitch;
        case 'p':
        case 'P':
            return LiveRequest::NextPrecision;
        case 'q':
        case 'Q':
            return LiveRequest::Quit;
        default:
            return std::nullopt;
    }
}

}  // namespace

TerminalDisplay::TerminalDisplay(std::FILE* out, int keys) : mOut(out), mKeys(keys) {
    if (::tcgetattr(mKeys, &mSaved) == 0) {
        termios raw = mSaved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        mRestore = ::tcsetattr(mKeys, TCSANOW, &raw) == 0;
    }
    std::fputs(kHideCursor, mOut);
    std::fflush(mOut);
}

TerminalDisplay::~TerminalDisplay() {
    std::fputs(kShowCursor, mOut);
    std::fflush(mOut);
    if (mRestore) ::tcsetattr(mKeys, TCSANOW, &mSaved);
}

void TerminalDisplay::show(const LiveSnapshot& snapshot) {
    const std::vector<std::string> lines = liveTextLines(snapshot);
    // Back to the first line drawn, then each line cleared and written again.
    if (mDrawnLines > 0) std::fprintf(mOut, "\x1b[%zuA", mDrawnLines);
    for (const std::string& line : lines) std::fprintf(mOut, "\r\x1b[2K%s\n", line.c_str());
    mDrawnLines = lines.size();
    std::fflush(mOut);
}

std::optional<LiveRequest> TerminalDisplay::waitForRequest(std::chrono::milliseconds timeout) {
    if (!mKeysOpen) {
        std::this_thread::sleep_for(timeout);
        return std::nullopt;
    }
    pollfd input{mKeys, POLLIN, 0};
    if (::poll(&input, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    char key = 0;
    const ssize_t got = ::read(mKeys, &key, 1);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) mKeysOpen = false;
    return got == 1 ? requestFor(key) : std::nullopt;
}

}  // namespace marvex
