#pragma once
// What the JACK benchmarks share: a private server with the dummy driver in real-time scheduling,
// and a client that counts the cycles the server reports late.
#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace benchjack {

// A JACK server of this process's own, for the length of the run.
class PrivateJackServer {
  public:
    PrivateJackServer() : name_("frisson_bench_" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        started_ = std::system(command("start").c_str()) == 0;
    }
    ~PrivateJackServer() { static_cast<void>(std::system(command("stop").c_str())); }
    bool started() const { return started_; }

  private:
    std::string command(const char* action) const {
        return "JACK_TEST_REALTIME=1 " + std::string(FRISSON_SOURCE_DIR) + "/scripts/jack-test-server.sh " +
               action + " " + name_ + " /tmp/frisson-bench-jack >/dev/null";
    }
    std::string name_;
    bool started_ = false;
};

// Counts the server's late cycles from a client of its own.
class XrunCounter {
  public:
    XrunCounter() {
        client_ = jack_client_open("frisson_xruns", JackNoStartServer, nullptr);
        if (client_ != nullptr) {
            jack_set_xrun_callback(client_, &XrunCounter::count, this);
            jack_activate(client_);
        }
    }
    ~XrunCounter() {
        if (client_ != nullptr)
            jack_client_close(client_);
    }
    int xruns() const { return xruns_.load(); }
    // Late cycles from now on: those after a client's start, when its ports join the graph.
    void markSteady() { steadyFrom_.store(xruns_.load()); }
    int steadyXruns() const { return xruns_.load() - steadyFrom_.load(); }

  private:
    static int count(void* self) {
        static_cast<XrunCounter*>(self)->xruns_.fetch_add(1);
        return 0;
    }
    jack_client_t* client_ = nullptr;
    std::atomic<int> xruns_{0};
    std::atomic<int> steadyFrom_{0};
};

}  // namespace benchjack
