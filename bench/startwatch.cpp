// Measures a windowed program from outside:
//   startwatch <hold-seconds> <idle-seconds> <program> [args...]
// starts the program and prints, on one line,
//   start_ms=<process start to its first top-level window mapped>
//   start_cpu_ms=<CPU time of all its threads by then: less moved by what else runs>
//   hwm_kb=<peak resident memory, VmHWM, <hold-seconds> after the start>
//   objects=<shared objects mapped then: the distinct files named *.so or *.so.N>
//   cpu_pct=<CPU time of all its threads over the following <idle-seconds>, in % of one core>
//   wakeups_per_s=<voluntary context switches of all its threads over that period, per second>
//   threads=<name>:<its wake-ups per second>,... (each thread by its name, in the order of their
//   ids)
// then ends the program. The window is the first child of the root window
// mapped whose _NET_WM_PID is the program's (no window manager runs: the map
// is the program's own).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long windowPid(Display *d, Window w) {
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(
            d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) ==
            Success &&
        data && n == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// A field of /proc/<pid>/status, in its unit (kB for memory).
long statusField(const std::string &file, const char *name) {
    std::ifstream in(file);
    std::string line;
    const std::size_t len = std::strlen(name);
    while (std::getline(in, line))
        if (line.compare(0, len, name) == 0 && line[len] == ':')
            return std::atol(line.c_str() + len + 1);
    return 0;
}

// How many distinct shared objects the process has mapped.
std::size_t sharedObjects(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> files;
    std::string line;
    while (std::getline(maps, line)) {
        const std::size_t path = line.find('/');
        if (path == std::string::npos)
            continue;
        const std::string file = line.substr(path);
        const std::size_t so = file.rfind(".so");
        if (so != std::string::npos && (so + 3 == file.size() || file[so + 3] == '.'))
            files.insert(file);
    }
    return files.size();
}

// CPU nanoseconds and voluntary switches, summed over the process's threads,
// and the switches of each thread (by id) with its name.
struct Usage {
    double cpuNs = 0;
    long switches = 0;
    std::map<long, std::pair<std::string, long>> threads;
};

Usage usage(pid_t pid) {
    Usage u;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR *tasks = opendir(dir.c_str());
    if (!tasks)
        return u;
    while (dirent *e = readdir(tasks)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string task = dir + "/" + e->d_name;
        std::ifstream sched(task + "/schedstat");
        double ns = 0;
        if (sched >> ns)
            u.cpuNs += ns;
        const long switches = statusField(task + "/status", "voluntary_ctxt_switches");
        u.switches += switches;
        std::string name;
        std::getline(std::ifstream(task + "/comm"), name);
        for (char &c : name)
            if (c == ' ' || c == '=' || c == ',' || c == ':')
                c = '_';
        u.threads[std::atol(e->d_name)] = {name, switches};
    }
    closedir(tasks);
    return u;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: startwatch <hold-seconds> <idle-seconds> <program> [args...]\n");
        return 2;
    }
    const double hold = std::atof(argv[1]), idle = std::atof(argv[2]);
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "startwatch: no X display\n");
        return 2;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        std::perror("startwatch: exec");
        _exit(127);
    }
    double startMs = -1, startCpuMs = -1;
    while (startMs < 0) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && windowPid(d, e.xmap.window) == pid) {
                startMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                startCpuMs = usage(pid).cpuNs / 1e6;
            }
        }
        if (startMs >= 0)
            break;
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "startwatch: %s ended before mapping a window\n", argv[3]);
            return 1;
        }
        if (Clock::now() - start > std::chrono::seconds(30)) {
            std::fprintf(stderr, "startwatch: no window of %s within 30 s\n", argv[3]);
            kill(pid, SIGKILL);
            return 1;
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, 100);
    }

    std::this_thread::sleep_until(start + std::chrono::duration<double>(hold));
    const long hwm = statusField("/proc/" + std::to_string(pid) + "/status", "VmHWM");
    const std::size_t objects = sharedObjects(pid);
    const Usage before = usage(pid);
    const auto idleStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idle));
    const Usage after = usage(pid);
    const double seconds = std::chrono::duration<double>(Clock::now() - idleStart).count();

    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::string threads;
    for (const auto &[tid, thread] : after.threads) {
        const auto was = before.threads.find(tid);
        const long from = was == before.threads.end() ? 0 : was->second.second;
        char rate[32];
        std::snprintf(rate, sizeof rate, ":%.2f", double(thread.second - from) / seconds);
        threads += (threads.empty() ? "" : ",") + thread.first + rate;
    }
    std::printf("start_ms=%.1f start_cpu_ms=%.1f hwm_kb=%ld objects=%zu cpu_pct=%.4f "
                "wakeups_per_s=%.2f threads=%s\n",
                startMs,
                startCpuMs,
                hwm,
                objects,
                (after.cpuNs - before.cpuNs) / (seconds * 1e9) * 100,
                double(after.switches - before.switches) / seconds,
                threads.c_str());
    XCloseDisplay(d);
    return 0;
}
