// Times Vossel's boot-duration measurement against a bare snapshot walk over the same processes.
// The measurement is the production code, called in the order the main window's paint handler calls it:
// the shell lookup over one snapshot, the process open and clock readings, and the caption text.
//
//   measure_loop [--iterations=1000]
// prints one JSON object: the median and mean microseconds of each over the iterations.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "start/start_of_shell.h"
#include "start/start_measurement.h"
#include "platform/executable.h"

namespace {

// The floor: the system's own walk with nothing done per entry.
int BareWalk() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        ++count;
    }
    CloseHandle(snapshot);
    return count;
}

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e6 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Mean(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values) sum += value;
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(std::strlen(result.c_str()));
    return result;
}

int Option(int argc, char** argv, const char* name, int fallback) {
    const size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], name, length) == 0 && argv[i][length] == '=') {
            return std::max(1, std::atoi(argv[i] + length + 1));
        }
    }
    return fallback;
}

// What one paint does before it sets the caption: the caption text, or the reason why the start
// was not measured.
bool MeasureOnce(std::wstring& captionOrReason) {
    const vossel::StartMeasurement measurement = vossel::MeasureStartOfShell({});
    captionOrReason = vossel::StartCaption(measurement, vossel::platform::UserDecimalSeparator());
    if (measurement.kind != vossel::StartKind::NotMeasured) return true;
    captionOrReason = measurement.reason;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = Option(argc, argv, "--iterations", 1000);

    // Wine starts its desktop process, which plays the shell, on the first use of the desktop;
    // on Windows the shell is already there and this costs nothing.
    GetDesktopWindow();

    std::wstring caption;
    if (!MeasureOnce(caption)) {
        std::fprintf(stderr, "measure_loop: not measured: %s\n", Utf8(caption).c_str());
        return 1;
    }

    // Each iteration times one of each, in alternating order, so that a shared machine's load
    // falls on both alike; the medians then ignore the iterations a neighbour disturbed.
    std::vector<double> whole, walk;
    int failures = 0;
    int processes = 0;
    for (int i = 0; i < iterations; ++i) {
        for (int pass = 0; pass < 2; ++pass) {
            const bool measuring = (pass == 0) == (i % 2 == 0);
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            if (measuring) {
                std::wstring text;
                failures += !MeasureOnce(text);
            } else {
                processes = BareWalk();
            }
            QueryPerformanceCounter(&end);
            (measuring ? whole : walk).push_back(Microseconds(start, end));
        }
    }
    // A failed measurement skips most of the work and would flatter the figure.
    if (failures) {
        std::fprintf(stderr, "measure_loop: %d of the measurements failed\n", failures);
        return 1;
    }

    const double wholeMedian = Median(whole), walkMedian = Median(walk);
    std::printf(
        "{\"iterations\": %d, \"processes\": %d, \"caption\": \"%s\", "
        "\"measurement_us\": %.3f, \"walk_us\": %.3f, \"ratio\": %.3f, "
        "\"measurement_mean_us\": %.3f, \"walk_mean_us\": %.3f}\n",
        iterations, processes, Utf8(caption).c_str(), wholeMedian, walkMedian,
        walkMedian > 0 ? wholeMedian / walkMedian : 0.0, Mean(whole), Mean(walk));
    return 0;
}
