#pragma once
// A private JACK server with the dummy backend, a client that plays known tones, and the built
// `marvex live` run as a child process, for the live client's tests.

#include <fcntl.h>
#include <jack/jack.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/TempDir.h"

namespace marvex::test {

using Clock = std::chrono::steady_clock;

// Returns `pid` in the parent; in the child of a fork (pid 0) redirects standard input, output and
// error to those of `fds` that are open, and runs `args`.
inline pid_t runInChild(pid_t pid, const std::vector<std::string>& args, std::array<int, 3> fds) {
    if (pid != 0) return pid;
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
// and its children (JACK_DEFAULT_SERVER) while it runs.
class JackServer {
public:
    JackServer() {
        static int counter = 0;
        mName = "marvex-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const int null = ::open("/dev/null", O_RDWR);
        const int log = ::open((mDir / "jackd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // A generous client timeout: a loaded machine must not get a slow client thrown out.
        mPid = runInChild(::fork(),
                          {"jackd", "--no-realtime", "-t", "10000", "-n", mName, "-d", "dummy",
                           "-r", "48000", "-p", "256"},
                          {null, log, log});
        ::close(null);
        ::close(log);
        ::setenv("JACK_DEFAULT_SERVER", mName.c_str(), 1);
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
    ~JackServer() { stop(SIGTERM); }

    bool ready() const { return mReady; }
    // What jackd said, for a failure message.
    std::string log() const { return slurp(mDir / "jackd.log"); }
    // Stops the server; SIGKILL, the last resort, leaves its semaphores behind: removed here.
    void stop(int signal) {
        if (mPid <= 0) return;
        ::kill(mPid, signal);
        if (!waitExit(mPid, std::chrono::seconds(5))) {
            ::kill(mPid, SIGKILL);
            waitExit(mPid, std::chrono::seconds(5));
        }
        mPid = -1;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error))
            if (entry.path().filename().string().find("_" + mName + "_") != std::string::npos)
                std::filesystem::remove(entry.path(), error);
    }

private:
    TempDir mDir;
    std::string mName;
    pid_t mPid = -1;
    bool mReady = false;
};

// One output's samples at the servers' 48 kHz: a sine of each frequency for its seconds.
inline std::vector<float> melody(std::initializer_list<std::pair<double, double>> notes) {
    std::vector<float> samples;
    double phase = 0.0;
    for (const auto& [hz, seconds] : notes) {
        for (int i = 0; i < static_cast<int>(seconds * 48000.0); ++i) {
            samples.push_back(static_cast<float>(0.5 * std::sin(phase)));
            phase += 2 * std::numbers::pi * hz / 48000.0;
        }
    }
    return samples;
}

// A JACK client with outputs out_1..out_N playing given samples on cue, silent before and after.
class TonePlayer {
public:
    explicit TonePlayer(std::uint32_t outputs) {
        jack_status_t status{};
        mClient = jack_client_open("tones", JackNoStartServer, &status);
        if (mClient == nullptr) return;
        mName = jack_get_client_name(mClient);
        for (std::uint32_t i = 0; i < outputs; ++i)
            mPorts.push_back(jack_port_register(mClient, ("out_" + std::to_string(i + 1)).c_str(),
                                                JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
        jack_set_process_callback(mClient, &TonePlayer::process, this);
        jack_activate(mClient);
    }
    ~TonePlayer() {
        if (mClient != nullptr) jack_client_close(mClient);
    }
    bool ready() const { return mClient != nullptr; }
    std::string port(std::uint32_t output) const {
        return mName + ":out_" + std::to_string(output + 1);
    }
    // Starts playing, one melody per output, from the next period.
    void play(std::vector<std::vector<float>> melodies) {
        mMelodies = std::move(melodies);
        mPlaying.store(true, std::memory_order_release);
    }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* player = static_cast<TonePlayer*>(self);
        const bool playing = player->mPlaying.load(std::memory_order_acquire);
        for (std::size_t c = 0; c < player->mPorts.size(); ++c) {
            auto* out = static_cast<float*>(jack_port_get_buffer(player->mPorts[c], frames));
            for (jack_nframes_t i = 0; i < frames; ++i) {
                const std::size_t at = player->mFrame + i;
                out[i] =
                    playing && at < player->mMelodies[c].size() ? player->mMelodies[c][at] : 0.0f;
            }
        }
        if (playing) player->mFrame += frames;
        return 0;
    }

    jack_client_t* mClient = nullptr;
    std::string mName;
    std::vector<jack_port_t*> mPorts;
    std::vector<std::vector<float>> mMelodies;
    std::atomic<bool> mPlaying{false};
    std::size_t mFrame = 0;
};

// The built `marvex live` with `args`, its standard output read line by line (through a pipe,
// or through a pseudo-terminal that is also its standard input when `terminal` is set).
class LiveRun {
public:
    LiveRun(const std::vector<std::string>& args, bool terminal = false) {
        std::vector<std::string> argv{MARVEX_EXE, "--bundle", MARVEX_BUNDLE, "live"};
        argv.insert(argv.end(), args.begin(), args.end());
        int err[2], out[2] = {-1, -1};
        ::pipe(err);
        if (terminal) {
            mPid = runInChild(::forkpty(&mOut, nullptr, nullptr, nullptr), argv, {-1, -1, err[1]});
            mTerminal = ::open(::ptsname(mOut), O_RDWR | O_NOCTTY);
        } else {
            ::pipe(out);
            const int null = ::open("/dev/null", O_RDONLY);
            mPid = runInChild(::fork(), argv, {null, out[1], err[1]});
            ::close(null);
            ::close(out[1]);
            mOut = out[0];
        }
        ::close(err[1]);
        mErr = err[0];
    }
    ~LiveRun() {
        if (!mStatus) {
            ::kill(mPid, SIGKILL);
            waitExit(mPid, std::chrono::seconds(5));
        }
        for (int fd : {mOut, mErr, mTerminal})
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
    // Reads what is written during `time`.
    void readFor(std::chrono::milliseconds time) {
        readUntil([](const std::string&) { return false; }, time);
    }
    std::optional<int> wait(std::chrono::milliseconds timeout) {
        if (!mStatus) mStatus = waitExit(mPid, timeout);
        return mStatus;
    }
    std::string errors() {
        std::string text;
        char buffer[4096];
        ::fcntl(mErr, F_SETFL, O_NONBLOCK);
        for (ssize_t got; (got = ::read(mErr, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(got));
        return text;
    }
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
    pid_t mPid = -1;
    int mOut = -1, mErr = -1, mTerminal = -1;
    std::string mText;
    std::optional<int> mStatus;
};

}  // namespace marvex::test
