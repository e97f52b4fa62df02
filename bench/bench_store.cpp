// The store alone on large files: peak memory and CPU time of reading a whole database (as the
// tree is built from it) and of a one-key write, on a database of many element records and on
// a file of random bytes. Each figure comes from a fresh child process, so the peaks are the
// work's own (ru_maxrss of the child minus its size when it starts).
//
//   bench_store [RECORDS] [RANDOM_MIB]      (100000 records and 50 MiB by default)
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "sample_database.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using varnetix::bench::generateDatabase;
using varnetix::bench::sectionName;

namespace {

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double wallSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

long maxRssKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double g_fsyncCpu = 0;
double g_fsyncWall = 0;

} // namespace

// Every fsync of the store passes through here, so that its time can be told apart from the
// store's own work.
extern "C" int fsync(int fd) {
    using Fsync = int (*)(int);
    static Fsync real = [] {
        Fsync f = nullptr;
        void* symbol = ::dlsym(RTLD_NEXT, "fsync");
        std::memcpy(&f, &symbol, sizeof f);
        return f;
    }();
    const double cpu = cpuSeconds();
    const double wall = wallSeconds();
    const int result = real(fd);
    g_fsyncCpu += cpuSeconds() - cpu;
    g_fsyncWall += wallSeconds() - wall;
    return result;
}

namespace {

struct Figures {
    double peakMiB = 0;
    double cpu = 0;
    double wall = 0;
    double fsyncCpu = 0;
    double fsyncWall = 0;
    long detail = 0;
};

// Runs the work in a child process and brings its figures back through a pipe.
Figures measure(const std::function<long()>& work) {
    int fds[2];
    if (::pipe(fds) != 0)
        std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const long startRss = maxRssKiB();
        const double cpu = cpuSeconds();
        const double wall = wallSeconds();
        Figures f;
        f.detail = work();
        f.cpu = cpuSeconds() - cpu;
        f.wall = wallSeconds() - wall;
        f.peakMiB = double(maxRssKiB() - startRss) / 1024.0;
        f.fsyncCpu = g_fsyncCpu;
        f.fsyncWall = g_fsyncWall;
        const bool written = ::write(fds[1], &f, sizeof f) == ssize_t(sizeof f);
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    Figures f;
    const bool read = ::read(fds[0], &f, sizeof f) == ssize_t(sizeof f);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!read || status != 0) {
        std::fprintf(stderr, "bench_store: the measured child failed\n");
        std::exit(1);
    }
    return f;
}

std::string randomBytes(std::size_t size) {
    std::mt19937_64 random(2976);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t word = random();
        std::memcpy(&bytes[i], &word, 8);
    }
    return bytes;
}

bool writeFile(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && ok;
}

std::string readFile(const std::string& path) {
    std::string content;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            content.append(buffer, n);
        std::fclose(file);
    }
    return content;
}

// The tree build's reading: the section list, then name and role of every section.
long readWholeDatabase(const std::string& path) {
    const varnetix::ElementTree tree =
        varnetix::BuildElementTree(varnetix::IniDocument::load(path), true);
    return long(tree.nodes.size());
}

void printRow(const char* what, const Figures& f, double fileMiB) {
    std::printf("%-38s %9.1f MiB %6.2fx %9.3f s %9.3f s %9.3f s\n", what, f.peakMiB,
                f.peakMiB / fileMiB, f.cpu - f.fsyncCpu, f.fsyncWall, f.wall);
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 100000;
    const std::size_t randomMiB =
        argc > 2 && std::atoi(argv[2]) > 0 ? std::size_t(std::atoi(argv[2])) : 50;

    char dirTemplate[] = "/tmp/bench_store.XXXXXX";
    if (!::mkdtemp(dirTemplate))
        return 1;
    const std::string dir = dirTemplate;
    const std::string database = dir + "/nms.ini";
    const std::string randomPath = dir + "/random.ini";

    double databaseMiB = 0;
    {
        const std::string text = generateDatabase(records);
        databaseMiB = double(text.size()) / (1024.0 * 1024.0);
        if (!writeFile(database, text))
            return 1;
    }
    double randomFileMiB = 0;
    std::string randomBefore;
    {
        const std::string bytes = randomBytes(randomMiB << 20);
        randomFileMiB = double(bytes.size()) / (1024.0 * 1024.0);
        if (!writeFile(randomPath, bytes))
            return 1;
    }

    std::printf("nms.ini: %d records, %.1f MiB; random bytes: %.1f MiB\n", records, databaseMiB,
                randomFileMiB);
    std::printf("%-38s %13s %7s %11s %11s %11s\n", "", "peak memory", "/file", "cpu", "fsync",
                "wall");

    printRow("read whole database (load + tree)",
             measure([&] { return readWholeDatabase(database); }), databaseMiB);
    printRow("parse alone", measure([&] {
                 return long(varnetix::IniDocument::load(database).sectionNames().size());
             }),
             databaseMiB);
    const std::string middle = sectionName(records / 2 + 1);
    int attenuation = 100;
    for (int run = 0; run < 3; ++run) {
        const std::string value = std::to_string(attenuation++);
        printRow(run == 0 ? "one-key write (cpu without fsync)" : "  again", measure([&] {
                     varnetix::WriteToINI(middle, "att", value, database);
                     return 0L;
                 }),
                 databaseMiB);
    }
    if (varnetix::ReadFromINI(middle, "att", database) != std::to_string(attenuation - 1)) {
        std::fprintf(stderr, "bench_store: the written value does not read back\n");
        return 1;
    }

    printRow("random bytes: read (load + tree)",
             measure([&] { return readWholeDatabase(randomPath); }), randomFileMiB);
    const std::string before = readFile(randomPath);
    printRow("random bytes: one-key write", measure([&] {
                 varnetix::WriteToINI("BENCH", "key", "value", randomPath);
                 return 0L;
             }),
             randomFileMiB);
    const std::string after = readFile(randomPath);
    std::size_t kept = 0;
    while (kept < before.size() && kept < after.size() && before[kept] == after[kept])
        ++kept;
    std::string tail;
    for (char c : after.substr(std::min(after.size(), kept)))
        tail += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    std::printf("random bytes: the first %zu of %zu bytes unchanged, then \"%s\"\n", kept,
                before.size(), tail.size() > 200 ? "(more than 200 bytes)" : tail.c_str());

    std::remove(database.c_str());
    std::remove(randomPath.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
