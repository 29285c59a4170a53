// unitemu: two emulated controller units on pseudo-terminals (see UnitEmulator.h).
// Usage: unitemu [options] DIR [--run PROGRAM ARGS...]; `unitemu --help` lists the options.
#include "journal/RunJournal.h"
#include "tools/unitemu/UnitEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using unitemu::UnitModel;

namespace {

const char* const Usage = R"(unitemu - plays the regulator's two controller units on pseudo-terminals

usage: unitemu [options] DIR [--run PROGRAM [ARGS...]]

  DIR                 folder of the regulator executable; DIR/dosdevices/com3 and com4
                      are pointed at the units' terminals (the program's COM3 and COM4)
  --units N           number of units, 1 or 2 (default 2)
  --link1 NAME        link name of unit 1 (default com3); --link2 NAME (default com4)
  --period S          seconds between temperature reports (default 1)
  --temp1 T --temp2 T starting temperatures in degC (default 19 and 21)
  --ambient T         ambient temperature (default 20)
  --heat-rate R       degC per second while the relay is on (default 1)
  --loss-tau S        time constant of the loss to ambient in s (default 300)
  --element-lag S     lag of the heating element in s (default 0)
  --chamber-lag S     lag of the sensor behind the chamber in s (default 0)
  --dead-time S       delay between the relay and the element in s (default 0)
  --noise S           sensor noise: each report off by a random amount of standard
                      deviation S degC (default 0)
  --point             reports use "." as decimal separator (default ",")
  --relay-watchdog S  a unit that receives nothing for S seconds drops its relay and lamp,
                      as a unit should when the program is gone (default 0: off)
  --start-after S     unit 1 sends "@START&" S seconds after start
  --stop-after S      unit 1 sends "@STOP&" S seconds after start
  --log FILE          record every received byte: seconds, unit, escaped bytes per line
  --demo              write a small demo Regulator.ini into DIR when it has none, and
                      start a cycle from unit 1 after 5 s (unless --start-after is given, or
                      DIR/Data/Regulator.run holds an interrupted cycle for the program to continue)
  --quiet             no status lines on stderr
  --run PROGRAM ...   start PROGRAM after the units are ready; end when it ends

commands on standard input, one per line (N is the unit, 1 or 2):
  start N | stop N       the unit sends "@START&" / "@STOP&"
  say N TEXT             the unit sends TEXT (\r \n \xNN \\ escapes)
  temp N T               set the unit's temperature
  silent N | talk N      stop / resume temperature reports
  stuck N | unstick N    the unit's heater sticks on whatever the relay is told (it
                         overshoots: the program's temperature limit "MaxT1"/"MaxT2", and its
                         runaway alarm) / works again
  broken N | mend N      the unit's sensor breaks: its reports say "@t=ERR  C" / it reports again
  flood N SECONDS        send reports back to back as fast as the line takes them
  garbage N BYTES        send random bytes
  unplug N | plug N      close the unit's terminal / give it a new one
  period S | status | quit
signals: SIGUSR1 = start 1, SIGUSR2 = stop 1, SIGINT/SIGTERM = quit
)";

using Clock = std::chrono::steady_clock;

int SignalPipe[2] = {-1, -1};

void OnSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    const int saved = errno;
    [[maybe_unused]] auto n = write(SignalPipe[1], &b, 1);
    errno = saved;
}

void SetNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

struct Unit {
    explicit Unit(int n) : Model(n) {}
    UnitModel Model;
    std::string LinkName;
    fs::path Link;
    int Master = -1;
    int Slave = -1; // kept open so the line never hangs up while the program reopens it
    std::string SlavePath;
    std::string Out; // bytes waiting to go to the program
    bool Silent = false;
    Clock::time_point FloodUntil{};
    Clock::time_point NextReport{};
};

class Emulator {
public:
    std::vector<Unit> Units;
    fs::path Dir;
    double Period = 1.0;
    bool Quiet = false;
    FILE* Log = nullptr;
    Clock::time_point Start = Clock::now();
    double StartAfter = -1, StopAfter = -1;
    bool StartSent = false, StopSent = false;
    pid_t Child = -1;
    int ChildStatus = 0;
    bool Quit = false;
    Clock::time_point NextStatus = Clock::now() + std::chrono::seconds(5);
    std::mt19937 Random{12345};

    double Elapsed(Clock::time_point t = Clock::now()) const {
        return std::chrono::duration<double>(t - Start).count();
    }

    void Status(const std::string& text) {
        if (!Quiet) std::fprintf(stderr, "unitemu %7.1f s: %s\n", Elapsed(), text.c_str());
    }

    bool Plug(Unit& u) {
        // Close-on-exec, like every descriptor here: the program started with --run must hold
        // no end of a unit's line, or pulling the unit (closing it here) would never hang it up.
        u.Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (u.Master < 0 || grantpt(u.Master) != 0 || unlockpt(u.Master) != 0) {
            std::perror("unitemu: pseudo-terminal");
            return false;
        }
        u.SlavePath = ptsname(u.Master);
        u.Slave = open(u.SlavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (u.Slave >= 0 && tcgetattr(u.Slave, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetspeed(&tio, B4800);
            tcsetattr(u.Slave, TCSANOW, &tio);
        }
        SetNonBlocking(u.Master);
        // Replace the link in one step, so the program never sees it missing.
        std::error_code ec;
        fs::create_directories(u.Link.parent_path(), ec);
        const fs::path tmp = u.Link.string() + ".new";
        fs::remove(tmp, ec);
        fs::create_symlink(u.SlavePath, tmp, ec);
        if (!ec) fs::rename(tmp, u.Link, ec);
        if (ec) {
            std::fprintf(stderr, "unitemu: cannot link %s: %s\n", u.Link.c_str(), ec.message().c_str());
            return false;
        }
        u.Out.clear();
        Status("unit " + std::to_string(u.Model.Number) + " on " + u.SlavePath + " as " + u.Link.string());
        return true;
    }

    void Unplug(Unit& u) {
        if (u.Master < 0) return;
        close(u.Master);
        if (u.Slave >= 0) close(u.Slave);
        u.Master = u.Slave = -1;
        u.Out.clear();
        Status("unit " + std::to_string(u.Model.Number) + " unplugged");
    }

    void RemoveLinks() {
        for (auto& u : Units) {
            std::error_code ec;
            if (fs::read_symlink(u.Link, ec) == fs::path(u.SlavePath)) fs::remove(u.Link, ec);
        }
    }

    void Send(Unit& u, const std::string& bytes) {
        if (u.Master < 0) return;
        // Nobody reading: keep only a little, as a line would lose it anyway.
        if (u.Out.size() > 4096) return;
        u.Out += bytes;
        Flush(u);
    }

    void Flush(Unit& u) {
        while (u.Master >= 0 && !u.Out.empty()) {
            const ssize_t n = write(u.Master, u.Out.data(), u.Out.size());
            if (n > 0) {
                u.Out.erase(0, static_cast<std::size_t>(n));
            } else {
                break; // full (EAGAIN) or gone; poll tells when to go on
            }
        }
    }

    void Received(Unit& u) {
        char buf[4096];
        for (;;) {
            const ssize_t n = read(u.Master, buf, sizeof buf);
            if (n <= 0) {
                // EIO: no program has the terminal open right now; nothing to read.
                return;
            }
            const std::string_view bytes(buf, static_cast<std::size_t>(n));
            if (Log) {
                std::fprintf(Log, "%.6f\t%d\t%s\n", Elapsed(), u.Model.Number,
                             unitemu::Escape(bytes).c_str());
                std::fflush(Log);
            }
            const bool relay = u.Model.Relay;
            const long beeps = u.Model.Beeps, starts = u.Model.Starts, stops = u.Model.Stops;
            const std::string reply = u.Model.Receive(bytes);
            if (!reply.empty()) {
                Status("unit " + std::to_string(u.Model.Number) + " identifies itself");
                Send(u, reply);
            }
            const std::string who = "unit " + std::to_string(u.Model.Number);
            if (relay != u.Model.Relay) Status(who + (u.Model.Relay ? " relay on" : " relay off"));
            if (beeps != u.Model.Beeps) Status(who + " BEEP");
            if (starts != u.Model.Starts) Status(who + " told START");
            if (stops != u.Model.Stops) Status(who + " told STOP");
        }
    }

    Unit* Find(int n) {
        for (auto& u : Units)
            if (u.Model.Number == n) return &u;
        return nullptr;
    }

    void Command(const std::string& line) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        if (cmd.empty()) return;
        if (cmd == "quit") {
            Quit = true;
            return;
        }
        if (cmd == "status") {
            for (auto& u : Units) {
                char buf[200];
                std::snprintf(buf, sizeof buf, "unit %d: %.1f degC relay %s lamp %s ticks %ld beeps %ld%s",
                              u.Model.Number, u.Model.Temperature, u.Model.Relay ? "on" : "off",
                              u.Model.Lamp ? "on" : "off", u.Model.Ticks, u.Model.Beeps,
                              u.Master < 0 ? " (unplugged)" : "");
                std::fprintf(stderr, "%s\n", buf);
            }
            return;
        }
        if (cmd == "period") {
            in >> Period;
            return;
        }
        int n = 0;
        in >> n;
        Unit* u = Find(n);
        if (!u) {
            std::fprintf(stderr, "unitemu: no unit %d\n", n);
            return;
        }
        const auto now = Clock::now();
        if (cmd == "start")
            Send(*u, "@START&\r");
        else if (cmd == "stop")
            Send(*u, "@STOP&\r");
        else if (cmd == "say") {
            std::string rest;
            std::getline(in >> std::ws, rest);
            Send(*u, unitemu::Unescape(rest));
        } else if (cmd == "temp")
            in >> u->Model.Temperature;
        else if (cmd == "silent")
            u->Silent = true;
        else if (cmd == "talk")
            u->Silent = false;
        else if (cmd == "stuck" || cmd == "unstick")
            u->Model.HeaterStuck = cmd == "stuck";
        else if (cmd == "broken" || cmd == "mend")
            u->Model.SensorBroken = cmd == "broken";
        else if (cmd == "flood") {
            double s = 1;
            in >> s;
            u->FloodUntil =
                now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
        } else if (cmd == "garbage") {
            long count = 0;
            in >> count;
            std::string g;
            for (long i = 0; i < count; ++i)
                g += static_cast<char>(Random() & 0xFF);
            u->Out += g; // may exceed the usual limit: this is meant to be a burst
            Flush(*u);
        } else if (cmd == "unplug")
            Unplug(*u);
        else if (cmd == "plug") {
            if (u->Master < 0) Plug(*u);
        } else
            std::fprintf(stderr, "unitemu: unknown command %s\n", cmd.c_str());
        if (cmd != "say" && cmd != "garbage") Status(line);
    }

    // Everything that is due by time: the model, the reports, the timed START/STOP, flooding.
    void Tick(Clock::time_point& lastModel) {
        const auto now = Clock::now();
        const double dt = std::chrono::duration<double>(now - lastModel).count();
        lastModel = now;
        for (auto& u : Units) {
            const bool relay = u.Model.Relay;
            u.Model.Advance(dt);
            if (relay && !u.Model.Relay) {
                char why[80];
                std::snprintf(why, sizeof why, " relay off: nothing received for %g s", u.Model.RelayWatchdog);
                Status("unit " + std::to_string(u.Model.Number) + why);
            }
            if (u.Master < 0) continue;
            if (now < u.FloodUntil) {
                while (u.Out.size() < 8192)
                    u.Out += u.Model.Report();
                Flush(u);
            } else if (!u.Silent && now >= u.NextReport) {
                Send(u, u.Model.Report());
                u.NextReport =
                    now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(Period));
            }
        }
        if (!Quiet && now >= NextStatus) {
            NextStatus = now + std::chrono::seconds(5);
            std::string line;
            for (auto& u : Units) {
                if (!line.empty()) line += "   ";
                line += "unit " + std::to_string(u.Model.Number) + " " +
                        unitemu::FiveChars(u.Model.Temperature, u.Model.DecimalPoint) + " degC relay " +
                        (u.Model.Relay ? "on " : "off") + (u.Model.HeaterStuck ? " (stuck)" : "");
            }
            Status(line);
        }
        if (!Units.empty()) {
            if (StartAfter >= 0 && !StartSent && Elapsed(now) >= StartAfter) {
                StartSent = true;
                Status("unit 1 sends START");
                Send(Units[0], "@START&\r");
            }
            if (StopAfter >= 0 && !StopSent && Elapsed(now) >= StopAfter) {
                StopSent = true;
                Status("unit 1 sends STOP");
                Send(Units[0], "@STOP&\r");
            }
        }
    }

    int Run() {
        bool stdinOpen = true;
        std::string stdinLine;
        auto lastModel = Clock::now();
        for (auto& u : Units)
            u.NextReport = Clock::now();
        while (!Quit) {
            Tick(lastModel);
            std::vector<pollfd> fds;
            fds.push_back({SignalPipe[0], POLLIN, 0});
            fds.push_back({stdinOpen ? 0 : -1, POLLIN, 0});
            for (auto& u : Units) {
                short ev = POLLIN;
                if (!u.Out.empty() || Clock::now() < u.FloodUntil) ev |= POLLOUT;
                fds.push_back({u.Master, ev, 0});
            }
            // Wake for the next report; a short step keeps the model smooth.
            const int r = poll(fds.data(), fds.size(), 50);
            if (r < 0 && errno != EINTR) {
                std::perror("unitemu: poll");
                return 1;
            }
            if (fds[0].revents & POLLIN) {
                unsigned char sigs[16];
                const ssize_t n = read(SignalPipe[0], sigs, sizeof sigs);
                for (ssize_t i = 0; i < n; ++i) {
                    if (sigs[i] == SIGUSR1 && !Units.empty())
                        Command("start 1");
                    else if (sigs[i] == SIGUSR2 && !Units.empty())
                        Command("stop 1");
                    else if (sigs[i] == SIGCHLD)
                        ReapChild();
                    else if (sigs[i] == SIGINT || sigs[i] == SIGTERM)
                        Quit = true;
                }
            }
            if (fds[1].revents & (POLLIN | POLLHUP)) {
                char buf[1024];
                const ssize_t n = read(0, buf, sizeof buf);
                if (n <= 0) {
                    stdinOpen = false;
                } else {
                    stdinLine.append(buf, static_cast<std::size_t>(n));
                    std::size_t eol;
                    while ((eol = stdinLine.find('\n')) != std::string::npos) {
                        Command(stdinLine.substr(0, eol));
                        stdinLine.erase(0, eol + 1);
                    }
                }
            }
            for (std::size_t i = 0; i < Units.size(); ++i) {
                const short rev = fds[i + 2].revents;
                if (Units[i].Master < 0) continue;
                if (rev & POLLIN) Received(Units[i]);
                if (rev & POLLOUT) Flush(Units[i]);
            }
            if (Child > 0) ReapChild();
            if (Child == 0) Quit = true; // the program has ended
        }
        RemoveLinks();
        if (Child > 0) {
            kill(Child, SIGTERM);
            waitpid(Child, &ChildStatus, 0);
        }
        return WIFEXITED(ChildStatus) ? WEXITSTATUS(ChildStatus) : 0;
    }

    void ReapChild() {
        if (Child <= 0) return;
        if (waitpid(Child, &ChildStatus, WNOHANG) == Child) {
            Status("the program has ended");
            Child = 0;
        }
    }
};

void WriteDemoSettings(const fs::path& dir) {
    const fs::path ini = dir / "Regulator.ini";
    if (fs::exists(ini)) return;
    std::ofstream out(ini);
    // Short programs and cycle so a demo shows a whole cycle in a few minutes.
    out << "[Nastaveni]\nDelkaCyklu=240\nNaPrubeh=1\nUkazKom=1\n"
        << "[Regulace]\nTvz=2\nT1=30\nT2=30\n"
        << "[Prubeh1]\nCas1=0\nTeplota1=60\nCas2=80\nTeplota2=90\nCas3=160\nTeplota3=50\n"
        << "[Prubeh2]\nCas1=0\nTeplota1=45\nCas2=120\nTeplota2=75\n";
}

} // namespace

int main(int argc, char** argv) {
    Emulator emu;
    int units = 2;
    std::string link1 = "com3", link2 = "com4", logPath;
    double temp1 = 19.0, temp2 = 21.0, ambient = 20.0, heatRate = 1.0, lossTau = 300.0, relayWatchdog = 0.0;
    double elementLag = 0.0, chamberLag = 0.0, deadTime = 0.0, noise = 0.0;
    bool point = false, demo = false;
    std::vector<char*> run;
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "unitemu: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == "--units")
            units = std::stoi(next());
        else if (a == "--link1")
            link1 = next();
        else if (a == "--link2")
            link2 = next();
        else if (a == "--period")
            emu.Period = std::stod(next());
        else if (a == "--temp1")
            temp1 = std::stod(next());
        else if (a == "--temp2")
            temp2 = std::stod(next());
        else if (a == "--ambient")
            ambient = std::stod(next());
        else if (a == "--heat-rate")
            heatRate = std::stod(next());
        else if (a == "--loss-tau")
            lossTau = std::stod(next());
        else if (a == "--element-lag")
            elementLag = std::stod(next());
        else if (a == "--chamber-lag")
            chamberLag = std::stod(next());
        else if (a == "--dead-time")
            deadTime = std::stod(next());
        else if (a == "--noise")
            noise = std::stod(next());
        else if (a == "--point")
            point = true;
        else if (a == "--relay-watchdog")
            relayWatchdog = std::stod(next());
        else if (a == "--start-after")
            emu.StartAfter = std::stod(next());
        else if (a == "--stop-after")
            emu.StopAfter = std::stod(next());
        else if (a == "--log")
            logPath = next();
        else if (a == "--demo")
            demo = true;
        else if (a == "--quiet")
            emu.Quiet = true;
        else if (a == "--run") {
            for (++i; i < argc; ++i)
                run.push_back(argv[i]);
        } else if (dir.empty() && a.rfind("--", 0) != 0)
            dir = a;
        else {
            std::fprintf(stderr, "unitemu: unknown option %s\n%s", a.c_str(), Usage);
            return 2;
        }
    }
    if (dir.empty() || units < 1 || units > 2 || emu.Period <= 0 || lossTau <= 0 || relayWatchdog < 0 || elementLag < 0 ||
        chamberLag < 0 || deadTime < 0) {
        std::fputs(Usage, stderr);
        return 2;
    }
    emu.Dir = fs::absolute(fs::path(dir));
    if (!fs::is_directory(emu.Dir)) {
        std::fprintf(stderr, "unitemu: %s is not a folder\n", dir.c_str());
        return 2;
    }
    if (demo) {
        WriteDemoSettings(emu.Dir);
        // A cycle the program was running when it went away is its to continue: no new START.
        const auto runJournal = journal::ReadRunJournal(emu.Dir / "Data" / "Regulator.run");
        const bool interrupted =
            runJournal.State == journal::RunJournalRead::Status::Ok && !runJournal.Entry.Finished;
        if (emu.StartAfter < 0 && !interrupted) emu.StartAfter = 5.0;
    }
    if (!logPath.empty()) {
        emu.Log = std::fopen(logPath.c_str(), "we");
        if (!emu.Log) {
            std::perror(logPath.c_str());
            return 1;
        }
    }

    if (pipe2(SignalPipe, O_CLOEXEC) != 0) return 1;
    SetNonBlocking(SignalPipe[0]);
    SetNonBlocking(SignalPipe[1]);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGCHLD})
        sigaction(sig, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    for (int n = 1; n <= units; ++n) {
        Unit u(n);
        u.Model.Temperature = n == 1 ? temp1 : temp2;
        u.Model.Ambient = ambient;
        u.Model.HeatRate = heatRate;
        u.Model.LossTau = lossTau;
        u.Model.ElementLag = elementLag;
        u.Model.ChamberLag = chamberLag;
        u.Model.DeadTime = deadTime;
        u.Model.DecimalPoint = point;
        u.Model.Noise = noise;
        u.Model.RelayWatchdog = relayWatchdog;
        u.LinkName = n == 1 ? link1 : link2;
        u.Link = emu.Dir / "dosdevices" / u.LinkName;
        emu.Units.push_back(std::move(u));
    }
    for (auto& u : emu.Units)
        if (!emu.Plug(u)) return 1;
    std::printf("ready\n");
    std::fflush(stdout);

    if (!run.empty()) {
        run.push_back(nullptr);
        emu.Child = fork();
        if (emu.Child == 0) {
            for (int sig : {SIGUSR1, SIGUSR2, SIGINT, SIGTERM, SIGCHLD})
                signal(sig, SIG_DFL);
            execvp(run[0], run.data());
            std::perror(run[0]);
            _exit(127);
        }
    }
    const int rc = emu.Run();
    if (emu.Log) std::fclose(emu.Log);
    return rc;
}
