// sensorbus-sim: a simulated temperature sensor bus on a pseudo-terminal (or a real serial port).
//
// For developers, tests, demos and users without hardware. It offers a port to the station and
// answers the bus commands the way a bus of configurable sensors does:
//   "AaaA" (handshake probe) -> "Aaa" + version character          (4 bytes)
//   "BA"   (read request)    -> per sensor: 3-byte ID + 2 temperature bytes (5 bytes)
//   "AA"   (search request)  -> per sensor: 3-byte ID                (3 bytes)
// Replies are written one at a time, spaced --gap ms apart (default 150 ms, more than the
// station's 100 ms silence that ends a delivery), so each arrives as a delivery of its own.
//
// Usage:
//   sensorbus-sim [options]
// The first line on stdout is the port path to give the station (flushed at once); with
// --silent-port N the paths of the N silent ports follow, one a line. Example:
//   build/bin/sensorbus-sim --sensor 0A1B2C=25.0625 --sensor 0A1B2D=sine:20:5:60 &
//   SENSORBUS_PORTS=$(head -1 ...) build/bin/station
//
// Options:
//   --device PATH          use a real serial device (null-modem cable) instead of a pty
//   --baud N               line speed with --device (default 2400; 8N1, raw)
//   --path-file FILE       also write the offered port path to FILE (written when ready)
//   --silent-port N        open N further ptys that log what they receive but never answer
//   --sensor ID=SPEC       add a sensor; ID is 6 hexadecimal digits (repeatable)
//   --sensors FILE         read sensors from FILE: one "ID SPEC" a line, '#' starts a comment
//   --version-char C       the handshake reply's version character (default 1)
//   --gap MS               spacing between two replies (default 150)
//   --reply-delay MS       time from a command to its first reply (default 20)
//   --handshake-delay MS   extra delay before the handshake reply (a late handshake)
//   --silent               never answer (the port opens but stays silent)
//   --merge                write all replies of one command together (merged replies)
//   --garbage HEX          after each command's replies, send these bytes as one more reply
//   --mute ID              this sensor answers neither read nor search requests (repeatable);
//                          the others go on answering
//   --drop-after MS        close the port (the pty master) MS after start, then exit
//   --control FIFO         read fault commands from FIFO (created if missing), see below
//   --log FILE             log to FILE as well as to stderr
//   --quiet                no log on stderr
//   --help                 this text
//
// Sensor SPEC (temperatures in degrees C, times in seconds since the simulator started):
//   25.0625 | fixed:T            constant
//   ramp:T0:PER_S                T0 + PER_S * t
//   sine:MEAN:AMPLITUDE:PERIOD   MEAN + AMPLITUDE * sin(2 pi t / PERIOD)
//   any of them + ",excursion:T@START+DURATION"   T from START for DURATION seconds
// Values are rounded to 1/16 degree and limited to +-127.9375, encoded exactly as the station
// decodes them.
//
// Control commands (one a line, written to the --control FIFO):
//   silent on|off    merge on|off    gap MS    reply-delay MS    handshake-delay MS
//   version C        set ID SPEC     garbage HEX (sent at once)     drop (close the port, exit)
//   mute ID on|off   the sensor stops (on) or resumes (off) answering "BA" and "AA"; logged as
//                    "mute ID on" / "mute ID off". A muted ID stays muted when "set" adds it.
// Signals: SIGUSR1 toggles silence, SIGUSR2 drops the port; SIGINT/SIGTERM end cleanly.
//
// Log lines (stderr and --log FILE), one per event, e.g.
//   2024-05-01 12:00:00.123 +1234.567 rx /dev/pts/3 41616141 AaaA
//   2024-05-01 12:00:00.290 +1401.002 tx /dev/pts/3 41616131
// "+ms" counts milliseconds since start (monotonic); rx lines name the command recognised
// (AaaA, BA, AA, or "?" for bytes that are no command). "port PATH released" says that the last
// user of a pty port closed it (or died) and its exclusive-open flag was cleared, so that the
// next station, whoever runs it, can open the port.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "BusProtocol.h"
#include "SerialSpeed.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();

double SecondsSinceStart() {
    return std::chrono::duration<double>(Clock::now() - kStart).count();
}

// ---- log -----------------------------------------------------------------------------------

bool gQuiet = false;
FILE* gLogFile = nullptr;

void Log(const std::string& text) {
    const auto wall = std::chrono::system_clock::now();
    const std::time_t tt = std::chrono::system_clock::to_time_t(wall);
    const int ms =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count() %
            1000);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    char line[128];
    std::snprintf(line, sizeof line, "%s.%03d +%.3f ", stamp, ms, SecondsSinceStart() * 1000.0);
    const std::string out = line + text + "\n";
    if (!gQuiet) std::fputs(out.c_str(), stderr);
    if (gLogFile != nullptr) {
        std::fputs(out.c_str(), gLogFile);
        std::fflush(gLogFile);
    }
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

bool ParseHex(const std::string& text, std::string& out) {
    std::string clean;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) clean += c;
    if (clean.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < clean.size(); i += 2) {
        char* end = nullptr;
        const std::string two = clean.substr(i, 2);
        const long v = std::strtol(two.c_str(), &end, 16);
        if (end != two.c_str() + 2) return false;
        out += char(v);
    }
    return true;
}

// ---- sensors -------------------------------------------------------------------------------

struct Sensor {
    std::string id;  // 3 bytes
    enum Kind { Fixed, Ramp, Sine } kind = Fixed;
    double a = 0, b = 0, c = 1;  // fixed: a; ramp: a + b t; sine: a + b sin(2 pi t / c)
    bool excursion = false;
    double excursionValue = 0, excursionStart = 0, excursionDuration = 0;

    double At(double t) const {
        if (excursion && t >= excursionStart && t < excursionStart + excursionDuration)
            return excursionValue;
        switch (kind) {
            case Ramp:
                return a + b * t;
            case Sine:
                return a + b * std::sin(2 * M_PI * t / c);
            default:
                return a;
        }
    }
};

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(s);
    while (std::getline(in, cur, sep)) out.push_back(cur);
    return out;
}

bool ToDouble(const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size();
}

bool ParseSpec(const std::string& specText, Sensor& sensor, std::string& error) {
    const std::vector<std::string> parts = Split(specText, ',');
    if (parts.empty()) {
        error = "empty temperature";
        return false;
    }
    const std::vector<std::string> f = Split(parts[0], ':');
    double v = 0;
    if (f.size() == 1 && ToDouble(f[0], v)) {
        sensor.kind = Sensor::Fixed;
        sensor.a = v;
    } else if (f[0] == "fixed" && f.size() == 2 && ToDouble(f[1], sensor.a)) {
        sensor.kind = Sensor::Fixed;
    } else if (f[0] == "ramp" && f.size() == 3 && ToDouble(f[1], sensor.a) &&
               ToDouble(f[2], sensor.b)) {
        sensor.kind = Sensor::Ramp;
    } else if (f[0] == "sine" && f.size() == 4 && ToDouble(f[1], sensor.a) &&
               ToDouble(f[2], sensor.b) && ToDouble(f[3], sensor.c) && sensor.c > 0) {
        sensor.kind = Sensor::Sine;
    } else {
        error = "bad temperature '" + parts[0] + "'";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        // excursion:T@START+DURATION
        const std::string& p = parts[i];
        const size_t colon = p.find(':'), at = p.find('@'),
                     plus = p.find('+', at == std::string::npos ? 0 : at);
        if (p.rfind("excursion:", 0) != 0 || at == std::string::npos || plus == std::string::npos ||
            !ToDouble(p.substr(colon + 1, at - colon - 1), sensor.excursionValue) ||
            !ToDouble(p.substr(at + 1, plus - at - 1), sensor.excursionStart) ||
            !ToDouble(p.substr(plus + 1), sensor.excursionDuration)) {
            error = "bad modifier '" + p + "'";
            return false;
        }
        sensor.excursion = true;
    }
    return true;
}

bool ParseSensor(const std::string& id, const std::string& spec, Sensor& sensor,
                 std::string& error) {
    if (id.size() != 6 || !ParseHex(id, sensor.id)) {
        error = "sensor ID must be 6 hexadecimal digits: '" + id + "'";
        return false;
    }
    return ParseSpec(spec, sensor, error);
}

// ---- ports ---------------------------------------------------------------------------------

void MakeRaw(int fd, speed_t speed) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (speed != 0) cfsetspeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
}

// A station opens its port exclusively (TIOCEXCL). On a real device the flag goes with the last
// close, but a pty's slave lives as long as its master, and here our own slave descriptor keeps
// it open as well: after a station that crashed (and never gave the flag back), a restarted
// station that does not run as root would get EBUSY for good. So the simulator watches the
// slave's device node (inotify: every open of the path and every last close of such an open
// file, a crash's included) and, once no one but itself has the port open, clears the flag on
// its own descriptor. It does not clear it while a user is left: exclusivity stays with a
// running station.
struct Port {
    int fd = -1;           // pty master, or the device
    int slaveKeep = -1;    // kept open so the pty does not hang up between the station's opens
    int watch = -1;        // inotify watch of the slave's node (pty only)
    int users = 0;         // open files on the slave besides ours
    bool released = true;  // the release of the last user has been logged
    std::string path;      // what the station opens
    bool answering = true;
    std::string input;  // bytes received and not yet recognised
    Clock::time_point lastInput;

    bool OpenPty() {
        fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) return false;
        const char* name = ptsname(fd);
        if (name == nullptr) return false;
        path = name;
        slaveKeep = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slaveKeep < 0) return false;
        MakeRaw(slaveKeep, 0);  // the line discipline must not touch the bytes
        MakeRaw(fd, 0);
        return true;
    }
    // Starts counting the slave's users (opened after our own slave descriptor, so ours is not
    // among them).
    void Watch(int inotifyFd) {
        if (inotifyFd >= 0 && slaveKeep >= 0)
            watch = inotify_add_watch(inotifyFd, path.c_str(), IN_OPEN | IN_CLOSE);
    }
    // An inotify event of this port's node. inotify merges an event with an identical one
    // still unread, so two opens (or closes) in quick succession may arrive as one: after a
    // close the users are counted afresh from the descriptors of all processes when that is
    // possible, and the count of events is only the fallback.
    void UserEvent(uint32_t mask) {
        if (mask & IN_OPEN) {
            ++users;
            released = false;
        }
        if (mask & IN_CLOSE) {
            const int counted = OtherOpeners();
            users = counted >= 0 ? counted : std::max(0, users - 1);
            if (users == 0 && !released && slaveKeep >= 0) {
                released = true;
                ioctl(slaveKeep, TIOCNXCL);
                Log("port " + path + " released");
            }
        }
    }
    // Descriptors of other processes (and of this one besides slaveKeep) open on the slave, or
    // -1 when some process's descriptors cannot be read.
    int OtherOpeners() const {
        struct stat node {};
        if (stat(path.c_str(), &node) != 0) return -1;
        DIR* proc = opendir("/proc");
        if (proc == nullptr) return -1;
        int count = 0;
        bool complete = true;
        while (const dirent* p = readdir(proc)) {
            if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
            const std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
            DIR* fds = opendir(fdDir.c_str());
            if (fds == nullptr) {
                if (errno != ENOENT) complete = false;  // a process that ended meanwhile
                continue;
            }
            const bool self = atoi(p->d_name) == getpid();
            while (const dirent* f = readdir(fds)) {
                if (f->d_name[0] == '.') continue;
                if (self && atoi(f->d_name) == slaveKeep) continue;
                struct stat st {};
                if (stat((fdDir + "/" + f->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                    st.st_rdev == node.st_rdev)
                    ++count;
            }
            closedir(fds);
        }
        closedir(proc);
        return complete ? count : -1;
    }
    bool OpenDevice(const std::string& dev, speed_t speed) {
        fd = open(dev.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return false;
        path = dev;
        MakeRaw(fd, speed);
        return true;
    }
    void Close() {
        if (fd >= 0) close(fd);
        if (slaveKeep >= 0) close(slaveKeep);
        fd = slaveKeep = -1;
    }
};

struct Pending {
    Clock::time_point due;
    std::string bytes;
};

struct Simulator {
    std::vector<Sensor> sensors;
    char version = '1';
    int gapMs = 150;
    int replyDelayMs = 20;
    int handshakeDelayMs = 0;
    bool silent = false;
    bool merge = false;
    std::string garbage;
    std::set<std::string> muted;  // 3-byte IDs of sensors that do not answer
    Port* port = nullptr;
    std::deque<Pending> pending;

    void Schedule(std::vector<std::string> replies, int extraDelayMs) {
        if (!garbage.empty()) replies.push_back(garbage);
        if (replies.empty()) return;
        if (merge) {
            std::string all;
            for (const auto& r : replies) all += r;
            replies = {all};
        }
        Clock::time_point t = Clock::now() + std::chrono::milliseconds(replyDelayMs + extraDelayMs);
        if (!pending.empty())
            t = std::max(t, pending.back().due + std::chrono::milliseconds(gapMs));
        for (const auto& r : replies) {
            pending.push_back({t, r});
            t += std::chrono::milliseconds(gapMs);
        }
    }

    // Recognises commands at the front of the port's input.
    void Parse(Port& p, bool flushPartial) {
        static const std::string commands[] = {"AaaA", "BA", "AA"};
        while (!p.input.empty()) {
            std::string found;
            bool prefix = false;
            for (const auto& c : commands) {
                if (p.input.compare(0, c.size(), c) == 0 && p.input.size() >= c.size())
                    found = c;
                else if (c.compare(0, p.input.size(), p.input) == 0)
                    prefix = true;
            }
            if (!found.empty()) {
                Log("rx " + p.path + " " + Hex(found) + " " + found);
                p.input.erase(0, found.size());
                if (p.answering && !silent) Answer(found);
                continue;
            }
            if (prefix && !flushPartial) return;  // wait for the rest of the command
            // Not a command: drop the bytes up to the next possible command start.
            size_t next = 1;
            while (next < p.input.size() && p.input[next] != 'A' && p.input[next] != 'B') ++next;
            if (prefix) next = p.input.size();
            Log("rx " + p.path + " " + Hex(p.input.substr(0, next)) + " ?");
            p.input.erase(0, next);
        }
    }

    void Answer(const std::string& command) {
        const double t = SecondsSinceStart();
        std::vector<std::string> replies;
        if (command == "AaaA") {
            replies.push_back(std::string("Aaa") + version);
            Schedule(replies, handshakeDelayMs);
            return;
        }
        for (const Sensor& s : sensors) {
            if (muted.count(s.id) != 0) continue;
            if (command == "AA") {
                replies.push_back(s.id);
            } else {
                const auto bytes = busprotocol::EncodeTemperature(s.At(t));
                replies.push_back(s.id + char(bytes.first) + char(bytes.second));
            }
        }
        Schedule(replies, 0);
    }

    void SendDue() {
        const auto now = Clock::now();
        while (!pending.empty() && pending.front().due <= now) {
            const std::string bytes = pending.front().bytes;
            pending.pop_front();
            if (port == nullptr || port->fd < 0) continue;
            size_t off = 0;
            while (off < bytes.size()) {
                const ssize_t w = write(port->fd, bytes.data() + off, bytes.size() - off);
                if (w > 0)
                    off += size_t(w);
                else if (w < 0 && errno != EINTR && errno != EAGAIN)
                    break;
            }
            Log("tx " + port->path + " " + Hex(bytes));
        }
    }

    int MsToNext() const {
        if (pending.empty()) return -1;
        const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(pending.front().due -
                                                                             Clock::now())
                           .count();
        return int(std::max<long long>(0, d + 1));
    }
};

void Usage(std::ostream& out) {
    out << "Usage: sensorbus-sim [options]\n"
           "Simulates the sensor bus on a pseudo-terminal; prints the port path on the first "
           "line.\n"
           "  --device PATH          use a real serial device instead of a pty\n"
           "  --baud N               line speed with --device (default 2400)\n"
           "  --path-file FILE       also write the port path to FILE\n"
           "  --silent-port N        open N further ptys that never answer (paths follow on "
           "stdout)\n"
           "  --sensor ID=SPEC       add a sensor (6 hex digits); SPEC: T | fixed:T | "
           "ramp:T0:PER_S |\n"
           "                         sine:MEAN:AMP:PERIOD_S, optionally "
           ",excursion:T@START_S+DURATION_S\n"
           "  --sensors FILE         sensors from FILE, one \"ID SPEC\" a line, '#' comments\n"
           "  --version-char C       handshake version character (default 1)\n"
           "  --gap MS               spacing between replies (default 150)\n"
           "  --reply-delay MS       delay from a command to its first reply (default 20)\n"
           "  --handshake-delay MS   extra delay before the handshake reply\n"
           "  --silent               never answer\n"
           "  --merge                write all replies of a command together\n"
           "  --garbage HEX          send these bytes after each command's replies\n"
           "  --mute ID              this sensor does not answer read and search requests\n"
           "                         (repeatable)\n"
           "  --drop-after MS        close the port MS after start, then exit\n"
           "  --control FIFO         fault commands: silent on|off, merge on|off, gap MS,\n"
           "                         reply-delay MS, handshake-delay MS, version C, set ID SPEC,\n"
           "                         garbage HEX, drop, mute ID on|off\n"
           "  --log FILE             log to FILE too (each command received and reply sent)\n"
           "  --quiet                no log on stderr\n"
           "Signals: SIGUSR1 toggles silence, SIGUSR2 drops the port, SIGINT/SIGTERM quit.\n";
}

}  // namespace

int main(int argc, char** argv) {
    Simulator sim;
    std::string device, pathFile, controlPath, logPath;
    long baud = 2400;
    int silentPorts = 0;
    long dropAfterMs = -1;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto fail = [](const std::string& msg) {
        std::cerr << "sensorbus-sim: " << msg << "\n";
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            Usage(std::cout);
            return 0;
        } else if (a == "--silent") {
            sim.silent = true;
        } else if (a == "--merge") {
            sim.merge = true;
        } else if (a == "--quiet") {
            gQuiet = true;
        } else if (!value(v)) {
            return fail("unknown option or missing value: " + a);
        } else if (a == "--device") {
            device = v;
        } else if (a == "--baud") {
            baud = std::atol(v.c_str());
        } else if (a == "--path-file") {
            pathFile = v;
        } else if (a == "--silent-port") {
            silentPorts = std::max(0, std::atoi(v.c_str()));
        } else if (a == "--sensor") {
            const size_t eq = v.find('=');
            Sensor s;
            std::string err;
            if (eq == std::string::npos || !ParseSensor(v.substr(0, eq), v.substr(eq + 1), s, err))
                return fail(err.empty() ? "--sensor needs ID=SPEC" : err);
            sim.sensors.push_back(s);
        } else if (a == "--sensors") {
            std::ifstream in(v);
            if (!in) return fail("cannot read " + v);
            std::string line;
            while (std::getline(in, line)) {
                line = line.substr(0, line.find('#'));
                std::istringstream ls(line);
                std::string id, spec;
                if (!(ls >> id)) continue;
                ls >> spec;
                Sensor s;
                std::string err;
                if (!ParseSensor(id, spec, s, err)) return fail(v + ": " + err);
                sim.sensors.push_back(s);
            }
        } else if (a == "--version-char") {
            sim.version = v.empty() ? '1' : v[0];
        } else if (a == "--gap") {
            sim.gapMs = std::max(0, std::atoi(v.c_str()));
        } else if (a == "--reply-delay") {
            sim.replyDelayMs = std::max(0, std::atoi(v.c_str()));
        } else if (a == "--handshake-delay") {
            sim.handshakeDelayMs = std::max(0, std::atoi(v.c_str()));
        } else if (a == "--garbage") {
            if (!ParseHex(v, sim.garbage)) return fail("bad hex for --garbage: " + v);
        } else if (a == "--mute") {
            std::string id;
            if (v.size() != 6 || !ParseHex(v, id))
                return fail("--mute needs a sensor ID of 6 hexadecimal digits: " + v);
            sim.muted.insert(id);
        } else if (a == "--drop-after") {
            dropAfterMs = std::atol(v.c_str());
        } else if (a == "--control") {
            controlPath = v;
        } else if (a == "--log") {
            logPath = v;
        } else {
            return fail("unknown option: " + a);
        }
    }
    if (!logPath.empty()) {
        gLogFile = std::fopen(logPath.c_str(), "a");
        if (gLogFile == nullptr) return fail("cannot write " + logPath);
    }

    // Signals arrive through a signalfd so that the loop handles them in order.
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE}) sigaddset(&mask, s);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int sigFd = signalfd(-1, &mask, SFD_CLOEXEC);

    std::vector<Port> ports(1 + size_t(silentPorts));
    if (!device.empty()) {
        const speed_t sp = (baud > 0 ? SpeedConstant(static_cast<uint32_t>(baud)) : B0);
        if (sp == 0) return fail("unsupported --baud");
        if (!ports[0].OpenDevice(device, sp))
            return fail("cannot open " + device + ": " + std::strerror(errno));
    } else if (!ports[0].OpenPty()) {
        return fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    }
    for (int i = 1; i <= silentPorts; ++i) {
        if (!ports[size_t(i)].OpenPty()) return fail("cannot open a pseudo-terminal");
        ports[size_t(i)].answering = false;
    }
    const int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (Port& p : ports) p.Watch(inotifyFd);
    sim.port = &ports[0];

    int controlFd = -1;
    if (!controlPath.empty()) {
        struct stat sb {};
        if (stat(controlPath.c_str(), &sb) != 0 && mkfifo(controlPath.c_str(), 0600) != 0)
            return fail("cannot create " + controlPath);
        // Read-write so that the FIFO never reports end-of-file when a writer goes away.
        controlFd = open(controlPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (controlFd < 0) return fail("cannot open " + controlPath);
    }

    if (!pathFile.empty()) {
        const std::string tmp = pathFile + ".tmp";
        std::ofstream(tmp) << ports[0].path << "\n";
        std::rename(tmp.c_str(), pathFile.c_str());
    }
    for (const Port& p : ports) std::cout << p.path << "\n";
    std::cout.flush();
    Log("ready " + ports[0].path + " sensors=" + std::to_string(sim.sensors.size()) +
        " version=" + sim.version);
    for (const std::string& id : sim.muted) Log("mute " + Hex(id) + " on");

    const Clock::time_point dropAt =
        kStart + std::chrono::milliseconds(dropAfterMs < 0 ? 0 : dropAfterMs);
    std::string controlBuffer;
    bool running = true;
    bool dropped = false;

    auto drop = [&] {
        Log("drop " + ports[0].path);
        ports[0].Close();
        dropped = true;
        running = false;
    };
    auto control = [&](const std::string& line) {
        std::istringstream in(line);
        std::string cmd, arg, arg2;
        in >> cmd >> arg >> arg2;
        if (cmd.empty()) return;
        Log("control " + line);
        if (cmd == "silent")
            sim.silent = arg != "off";
        else if (cmd == "merge")
            sim.merge = arg != "off";
        else if (cmd == "gap")
            sim.gapMs = std::max(0, std::atoi(arg.c_str()));
        else if (cmd == "reply-delay")
            sim.replyDelayMs = std::max(0, std::atoi(arg.c_str()));
        else if (cmd == "handshake-delay")
            sim.handshakeDelayMs = std::max(0, std::atoi(arg.c_str()));
        else if (cmd == "version" && !arg.empty())
            sim.version = arg[0];
        else if (cmd == "garbage") {
            std::string bytes;
            if (ParseHex(arg + arg2, bytes)) sim.pending.push_front({Clock::now(), bytes});
        } else if (cmd == "set") {
            Sensor s;
            std::string err;
            if (ParseSensor(arg, arg2, s, err)) {
                auto it = std::find_if(sim.sensors.begin(), sim.sensors.end(),
                                       [&](const Sensor& x) { return x.id == s.id; });
                if (it != sim.sensors.end())
                    *it = s;
                else
                    sim.sensors.push_back(s);
            } else {
                Log("control error: " + err);
            }
        } else if (cmd == "mute") {
            std::string id;
            if (arg.size() != 6 || !ParseHex(arg, id) || (arg2 != "on" && arg2 != "off")) {
                Log("control error: mute needs ID on|off");
            } else {
                if (arg2 == "on")
                    sim.muted.insert(id);
                else
                    sim.muted.erase(id);
                Log("mute " + Hex(id) + " " + arg2);
            }
        } else if (cmd == "drop")
            drop();
        else
            Log("control error: unknown command " + cmd);
    };

    while (running) {
        std::vector<pollfd> fds;
        fds.push_back({sigFd, POLLIN, 0});
        fds.push_back({controlFd, POLLIN, 0});
        for (const Port& p : ports) fds.push_back({p.fd, POLLIN, 0});
        fds.push_back({inotifyFd, POLLIN, 0});
        int timeout = sim.MsToNext();
        // A command prefix that stays incomplete for 50 ms is reported as stray bytes.
        for (const Port& p : ports) {
            if (p.input.empty()) continue;
            const auto d = std::chrono::duration_cast<std::chrono::milliseconds>(
                               p.lastInput + std::chrono::milliseconds(50) - Clock::now())
                               .count();
            const int t = int(std::max<long long>(0, d + 1));
            timeout = timeout < 0 ? t : std::min(timeout, t);
        }
        if (dropAfterMs >= 0) {
            const auto d =
                std::chrono::duration_cast<std::chrono::milliseconds>(dropAt - Clock::now())
                    .count();
            const int t = int(std::max<long long>(0, d));
            timeout = timeout < 0 ? t : std::min(timeout, t);
        }
        const int r = poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo si{};
            if (read(sigFd, &si, sizeof si) == ssize_t(sizeof si)) {
                if (si.ssi_signo == SIGINT || si.ssi_signo == SIGTERM) {
                    Log("quit on signal " + std::to_string(si.ssi_signo));
                    running = false;
                } else if (si.ssi_signo == SIGUSR1) {
                    sim.silent = !sim.silent;
                    Log(std::string("silent ") + (sim.silent ? "on" : "off"));
                } else if (si.ssi_signo == SIGUSR2) {
                    drop();
                }
            }
        }
        if (controlFd >= 0 && (fds[1].revents & POLLIN)) {
            char buf[512];
            const ssize_t n = read(controlFd, buf, sizeof buf);
            if (n > 0) controlBuffer.append(buf, size_t(n));
            size_t nl;
            while ((nl = controlBuffer.find('\n')) != std::string::npos) {
                control(controlBuffer.substr(0, nl));
                controlBuffer.erase(0, nl + 1);
            }
        }
        for (size_t i = 0; running && i < ports.size(); ++i) {
            Port& p = ports[i];
            const short rev = fds[2 + i].revents;
            if (rev & POLLIN) {
                char buf[512];
                const ssize_t n = read(p.fd, buf, sizeof buf);
                if (n > 0) {
                    p.input.append(buf, size_t(n));
                    p.lastInput = Clock::now();
                    sim.Parse(p, false);
                }
            } else if (rev & (POLLHUP | POLLERR)) {
                // A real device going away; a pty keeps its slave open and never gets here.
                Log("port " + p.path + " hung up");
                running = false;
            }
            if (!p.input.empty() && Clock::now() - p.lastInput >= std::chrono::milliseconds(50))
                sim.Parse(p, true);
        }
        if (fds.back().revents & POLLIN) {
            alignas(inotify_event) char buf[4096];
            const ssize_t n = read(inotifyFd, buf, sizeof buf);
            for (ssize_t off = 0; n > 0 && off < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                for (Port& p : ports)
                    if (p.watch >= 0 && e->wd == p.watch) p.UserEvent(e->mask);
                off += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        if (running) sim.SendDue();
        if (running && dropAfterMs >= 0 && Clock::now() >= dropAt) drop();
    }
    for (Port& p : ports) p.Close();
    if (inotifyFd >= 0) close(inotifyFd);
    if (controlFd >= 0) close(controlFd);
    Log(dropped ? "exit after drop" : "exit");
    if (gLogFile != nullptr) std::fclose(gLogFile);
    return 0;
}
