#pragma once
// The X server's CPU, read by the benchmark's programs over the same spans
// as their own: every thread's time on a core from /proc/PID/task/*/schedstat
// (the 10 ms ticks of /proc/PID/stat are too coarse for a few milliseconds).
// tools/benchmark.sh hands over the server's process id.
#include <QDir>
#include <QString>
#include <cstdint>
#include <fstream>

namespace quadix::bench {

// In ns; -1 when there is no X server to read.
inline int64_t XServerCpuNs()
{
    const int pid = qEnvironmentVariableIntValue("QUADIX_BENCH_XSERVER_PID");
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

} // namespace quadix::bench
