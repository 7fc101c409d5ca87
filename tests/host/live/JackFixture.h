#pragma once
// A private JACK server with the dummy backend, a client that plays known tones, and the built
// `marvex live` run as a child process, for the live client's tests.

#include <fcntl.h>
#include <jack/jack.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/host/cli/CommandRunner.h"

namespace marvex::test {

using Clock = std::chrono::steady_clock;

// Returns `pid` in the parent; in the child of a fork (pid 0) redirects standard input, output and
// error to those of `fds` that are open, and runs `args`.
inline pid_t runInChild(pid_t pid, const std::vector<std::string>& args, std::array<int, 3> fds) {
    if (pid != 0) return pid;
    // A test that dies (an assertion, a timeout's kill) takes its servers and clients with it:
    // a server left running would hold one of the eight places in JACK's registry.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    for (int i = 0; i < 3; ++i)
        if (fds[i] >= 0) ::dup2(fds[i], i);
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// Waits up to `timeout` for the child; its exit status, 128 + signal if a signal ended it, or
// nothing if it is still running.
inline std::optional<int> waitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    do {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return std::nullopt;
}

// `jackd --no-realtime -d dummy` under a name of its own, made the default server of this process
// and its children (JACK_DEFAULT_SERVER) while it runs; what it says goes to the test's errors.
class JackServer {
public:
    JackServer() {
        static int counter = 0;
        const std::string name =
            "marvex-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int null = ::open("/dev/null", O_RDWR);
        // A generous client timeout: a loaded machine must not get a slow client thrown out.
        mPid = runInChild(::fork(),
                          {"jackd", "--no-realtime", "-t", "10000", "-n", name, "-d", "dummy", "-r",
                           "48000", "-p", "256"},
                          {null, null, -1});
        ::close(null);
        ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
        for (const auto end = Clock::now() + std::chrono::seconds(10);
             !mReady && Clock::now() < end;) {
            jack_status_t status{};
            jack_client_t* probe = jack_client_open("probe", JackNoStartServer, &status);
            mReady = probe != nullptr;
            if (mReady) jack_client_close(probe);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~JackServer() { stop(); }

    bool ready() const { return mReady; }
    // SIGTERM only: a server killed outright keeps its slot in JACK's registry of servers, which
    // holds eight, so that test runs would soon leave no room for another server.
    void stop() {
        if (mPid <= 0) return;
        ::kill(mPid, SIGTERM);
        waitExit(std::exchange(mPid, -1), std::chrono::seconds(5));
    }

private:
    pid_t mPid = -1;
    bool mReady = false;
};

// A JACK client "tones" with an output per channel of `melodies` (out_1, out_2, ...), each
// playing its melody once from the period it is first connected in, then silence.
class TonePlayer {
public:
    explicit TonePlayer(Channels melodies) : mMelodies(std::move(melodies)) {
        jack_status_t status{};
        mClient = jack_client_open("tones", JackNoStartServer, &status);
        if (mClient == nullptr) return;
        for (std::size_t i = 0; i < mMelodies.size(); ++i)
            mPorts.push_back(jack_port_register(mClient, port(i).substr(6).c_str(),
                                                JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
        jack_set_process_callback(mClient, &TonePlayer::process, this);
        jack_activate(mClient);
    }
    ~TonePlayer() {
        if (mClient != nullptr) jack_client_close(mClient);
    }
    bool ready() const { return mClient != nullptr; }
    static std::string port(std::size_t output) {
        return "tones:out_" + std::to_string(output + 1);
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* player = static_cast<TonePlayer*>(self);
        for (std::size_t c = 0; c < player->mPorts.size(); ++c) {
            auto* out = static_cast<float*>(jack_port_get_buffer(player->mPorts[c], frames));
            std::vector<float>& melody = player->mMelodies[c];
            const std::size_t from = player->mPlayed[c];
            const std::size_t n = std::min<std::size_t>(frames, melody.size() - from);
            std::fill(std::copy_n(melody.begin() + from, n, out), out + frames, 0.0f);
            if (jack_port_connected(player->mPorts[c]) > 0) player->mPlayed[c] += n;
        }
        return 0;
    }

    jack_client_t* mClient = nullptr;
    std::vector<jack_port_t*> mPorts;
    Channels mMelodies;
    std::vector<std::size_t> mPlayed = std::vector<std::size_t>(mMelodies.size());
};

// The built `marvex live` with `args`, its standard output read line by line (through a pipe,
// or through a pseudo-terminal that is also its standard input when `terminal` is set).
class LiveRun {
public:
    LiveRun(const std::vector<std::string>& args, bool terminal = false) {
        std::vector<std::string> argv{MARVEX_EXE, "--bundle", MARVEX_BUNDLE, "live"};
        argv.insert(argv.end(), args.begin(), args.end());
        const int err = ::open((mDir / "err").c_str(), O_WRONLY | O_CREAT, 0644);
        if (terminal) {
            mPid = runInChild(::forkpty(&mOut, nullptr, nullptr, nullptr), argv, {-1, -1, err});
            mTerminal = ::open(::ptsname(mOut), O_RDWR | O_NOCTTY);
        } else {
            int out[2];
            ::pipe(out);
            const int null = ::open("/dev/null", O_RDONLY);
            mPid = runInChild(::fork(), argv, {null, out[1], err});
            ::close(null);
            ::close(out[1]);
            mOut = out[0];
        }
        ::close(err);
    }
    ~LiveRun() {
        if (!mStatus) {
            ::kill(mPid, SIGKILL);
            waitExit(mPid, std::chrono::seconds(5));
        }
        for (int fd : {mOut, mTerminal})
            if (fd >= 0) ::close(fd);
    }

    // Reads standard output until `done(text so far)` holds or the time is up.
    template <typename Done>
    bool readUntil(Done done, std::chrono::milliseconds timeout) {
        const auto end = Clock::now() + timeout;
        while (!done(mText)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            pollfd fd{mOut, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                return false;
            char buffer[4096];
            const ssize_t got = ::read(mOut, buffer, sizeof buffer);
            if (got <= 0) return done(mText);
            mText.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
    bool waitFor(const std::string& needle, std::chrono::milliseconds timeout) {
        return readUntil(
            [&](const std::string& text) { return text.find(needle) != std::string::npos; },
            timeout);
    }
    // Waits for the program to end, then reads the rest of what it wrote.
    std::optional<int> wait(std::chrono::milliseconds timeout) {
        if (!mStatus) mStatus = waitExit(mPid, timeout);
        if (mStatus) readUntil([](const std::string&) { return false; }, std::chrono::seconds(1));
        return mStatus;
    }
    std::string errors() const { return slurp(mDir / "err"); }
    void type(char key) { ::write(mOut, &key, 1); }
    void signal(int number) { ::kill(mPid, number); }
    const std::string& text() const { return mText; }
    // The pseudo-terminal's settings as the child left them.
    termios terminalSettings() const {
        termios settings{};
        ::tcgetattr(mTerminal, &settings);
        return settings;
    }

private:
    TempDir mDir;  // for its standard error
    pid_t mPid = -1;
    int mOut = -1, mTerminal = -1;
    std::string mText;
    std::optional<int> mStatus;
};

}  // namespace marvex::test
