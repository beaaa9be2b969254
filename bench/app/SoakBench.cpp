// Ten minutes of `frisson play` with eight dense streams on a private JACK server (dummy driver,
// real-time scheduling, 44100 Hz, 256-frame periods) while a MIDI keyboard of this process sends
// controllers at 1 kHz, notes and program changes, and timed changes make the parameters glide.
// Reports the ring's underruns (from play's report), the cycles JACK reported late, the MIDI
// messages sent, and the play process's resident memory after the first ten seconds and at the
// end. FRISSON_SOAK_SECONDS shortens the run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/output/JackBenchServer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kDefaultSeconds = 600;
constexpr double kSettleSeconds = 10;  // memory is read first after this much play
constexpr int kStreams = 8;
constexpr auto kControllerInterval = std::chrono::microseconds(1000);
constexpr int kControllersPerNote = 50;       // a note on or off every 50 ms
constexpr int kControllersPerProgram = 5000;  // a program change every 5 s
constexpr int kGlideEverySeconds = 10;

double soakSeconds() {
    const char* text = std::getenv("FRISSON_SOAK_SECONDS");
    return text != nullptr ? std::atof(text) : kDefaultSeconds;
}

// The play command: eight dense streams of the built-in sine (about 1600 grains at once) with
// long change times, so that every timed change and controller glides.
std::vector<std::string> playArguments(double seconds, const std::string& keyboard) {
    std::vector<std::string> args{FRISSON_BINARY,          "play",   "--device", "JACK", "--seconds",
                                  std::to_string(seconds), "--midi", keyboard};
    for (int s = 0; s < kStreams; ++s) {
        args.emplace_back("--stream");
        args.emplace_back("sound=sine,Freq=16384,GrainLen=324,PanRnd=128,PitchRnd=30,ChangeTime=2048,Start=" +
                          std::to_string(512 * s));
    }
    for (int t = kGlideEverySeconds; t < seconds; t += kGlideEverySeconds) {
        const int up = (t / kGlideEverySeconds) % 2;
        for (int s = 1; s <= kStreams; ++s) {
            args.emplace_back("--at");
            args.emplace_back(std::to_string(t) + ":" + std::to_string(s) +
                              ":Pitch=" + std::to_string(up != 0 ? 6144 + 300 * s : 6144 - 200 * s));
            args.emplace_back("--at");
            args.emplace_back(std::to_string(t) + ":" + std::to_string(s) +
                              ":Amp=" + std::to_string(up != 0 ? 300 : 461));
        }
    }
    return args;
}

// Resident memory of a process in kB, from /proc.
long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The underrun count of play's report ("N buffer underruns in performance"); play reports only
// more than two, so no report reads as 0.
long reportedUnderruns(const std::string& log) {
    std::smatch match;
    static const std::regex report("([0-9]+) buffer underruns in performance");
    return std::regex_search(log, match, report) ? std::atol(match[1].str().c_str()) : 0;
}

// One controller message every millisecond on the eight channels in turn (modulation, volume,
// pan and brightness, sweeping), a note on or off every 50 ms, a program change every 5 s (to
// patch slots 1 to 3, empty: slot 0 would restore the default patch and lighten the load).
class Keyboard {
  public:
    explicit Keyboard(const std::string& client) : out_(RtMidi::UNIX_JACK, client) {
        out_.openVirtualPort("out");
    }

    void play(Clock::time_point until) {
        static constexpr unsigned char kControllers[] = {1, 7, 10, 74};
        auto next = Clock::now();
        while (next < until) {
            const auto channel = static_cast<unsigned char>(sent_ % kStreams);
            const unsigned char controller = kControllers[(sent_ / kStreams) % 4];
            send({static_cast<unsigned char>(0xB0 | channel), controller,
                  static_cast<unsigned char>((sent_ / 3) % 128)});
            if (sent_ % kControllersPerNote == 0) {
                const auto note = static_cast<unsigned char>(48 + (sent_ / kControllersPerNote) % 24);
                const bool on = (sent_ / kControllersPerNote) % 2 == 0;
                send({static_cast<unsigned char>((on ? 0x90 : 0x80) | channel), note, 100});
            }
            if (sent_ % kControllersPerProgram == kControllersPerProgram - 1)
                send({static_cast<unsigned char>(0xC0 | channel),
                      static_cast<unsigned char>(1 + (sent_ / kControllersPerProgram) % 3)});
            next += kControllerInterval;
            std::this_thread::sleep_until(next);
        }
    }
    long messages() const { return messages_; }

  private:
    void send(std::vector<unsigned char> message) {
        out_.sendMessage(&message);
        ++messages_;
        ++sent_;
    }
    RtMidiOut out_;
    long sent_ = 0;
    long messages_ = 0;
};

void soak(benchmark::State& state) {
    benchjack::PrivateJackServer server;
    if (!server.started()) {
        state.SkipWithError("the JACK server did not start");
        return;
    }
    const double seconds = soakSeconds();
    const std::string keyboardName = "FrissonSoakKeys" + std::to_string(getpid());
    const fs::path home = fs::temp_directory_path() / ("frisson-soak-" + std::to_string(getpid()));
    fs::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    const fs::path logPath = home / "play.log";

    benchjack::XrunCounter xruns;
    Keyboard keyboard(keyboardName);
    for (auto _ : state) {
        std::vector<std::string> args = playArguments(seconds, keyboardName + ":");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        if (spawned != 0) {
            state.SkipWithError("could not start frisson play");
            return;
        }
        const auto start = Clock::now();
        const auto after = [start](double s) {
            return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
        };
        const Clock::time_point settle = after(kSettleSeconds);
        const Clock::time_point nearEnd = after(seconds - 2);
        keyboard.play(settle);
        const long rssStart = residentKilobytes(pid);
        const int xrunsAtStart = xruns.xruns();
        keyboard.play(nearEnd);
        const long rssEnd = residentKilobytes(pid);
        int status = 0;
        waitpid(pid, &status, 0);

        std::ifstream logFile(logPath);
        std::stringstream log;
        log << logFile.rdbuf();
        state.counters["exit_status"] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        state.counters["underruns"] = static_cast<double>(reportedUnderruns(log.str()));
        state.counters["jack_xruns"] = xruns.xruns();
        state.counters["xruns_after_10s"] = xruns.xruns() - xrunsAtStart;
        state.counters["midi_messages"] = static_cast<double>(keyboard.messages());
        state.counters["rss_start_kB"] = static_cast<double>(rssStart);
        state.counters["rss_end_kB"] = static_cast<double>(rssEnd);
        // Everything play said but its MIDI monitor lines.
        std::string line;
        long monitorLines = 0;
        std::cerr << "frisson play said:\n";
        for (std::istringstream lines(log.str()); std::getline(lines, line);) {
            if (line.find("MIDI input: ") != std::string::npos)
                ++monitorLines;
            else
                std::cerr << "  " << line << "\n";
        }
        std::cerr << "  (and " << monitorLines << " MIDI monitor lines)\n";
        if (status != 0)
            state.SkipWithError(("frisson play failed: " + log.str()).c_str());
    }
    fs::remove_all(home);
}

BENCHMARK(soak)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
