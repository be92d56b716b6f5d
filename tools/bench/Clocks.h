#pragma once
// The clocks the benchmark's programs read: wall time, their own CPU time,
// and the X server's and the sound server's CPU over the same spans.
#include <QDir>
#include <QString>
#include <cstdint>
#include <ctime>
#include <fstream>

namespace quadix::bench {

inline int64_t clockNs(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

inline int64_t monotonicNs() { return clockNs(CLOCK_MONOTONIC); }
inline int64_t processCpuNs() { return clockNs(CLOCK_PROCESS_CPUTIME_ID); }
inline int64_t realtimeNs() { return clockNs(CLOCK_REALTIME); }

// Every thread's time on a core of the server whose process id is in the
// environment variable pidVariable, from /proc/PID/task/*/schedstat (the
// 10 ms ticks of /proc/PID/stat are too coarse for a few milliseconds);
// tools/benchmark.sh hands over the X server's and the sound server's.
// In ns; -1 when there is no such server to read.
inline int64_t ServerCpuNs(const char* pidVariable)
{
    const int pid = qEnvironmentVariableIntValue(pidVariable);
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    if (pid <= 0 || !tasks.exists())
        return -1;
    int64_t total = 0;
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream stat(tasks.filePath(tid + QStringLiteral("/schedstat")).toStdString());
        long long running = 0;
        if (stat >> running)
            total += running;
    }
    return total;
}

inline int64_t XServerCpuNs() { return ServerCpuNs("QUADIX_BENCH_XSERVER_PID"); }
inline int64_t SoundServerCpuNs() { return ServerCpuNs("QUADIX_BENCH_SOUND_SERVER_PID"); }

} // namespace quadix::bench
