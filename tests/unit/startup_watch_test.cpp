#include <gtest/gtest.h>

#include "startup/settling.h"
#include "startup/startup_attribution.h"
#include "startup/watch_plan.h"

namespace vossel {
namespace {

constexpr std::uint64_t kMs = 10'000;  // 100 ns units
constexpr std::uint64_t kSignIn = 133'545'909'700'000'000;

TEST(ImageOfCommand, TakesTheProgramOfARunValue) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Program Files\\A B\\a.exe\" /min", L"C:\\Program Files\\A B\\a.exe"},
        {L"  C:\\Program Files\\Tool\\tool.EXE -silent", L"C:\\Program Files\\Tool\\tool.EXE"},
        {L"C:\\x.exe.d\\run.exe", L"C:\\x.exe.d\\run.exe"},  // ".exe" inside a folder's name
        {L"rundll32.exe shell32.dll,Control_RunDLL", L"rundll32.exe"},
        {L"\"C:\\unclosed\\quote.exe", L"C:\\unclosed\\quote.exe"},
        {L"notepad", L"notepad"},
        {L"   ", L""},
    };
    for (const auto& [command, image] : cases) EXPECT_EQ(ImageOfCommand(command), image) << command;
    // A task's action names its program alone: spaces inside stay, quotes around it go.
    const std::pair<const wchar_t*, const wchar_t*> actions[] = {
        {L" \"C:\\Program Files\\A B\\run.cmd\" ", L"C:\\Program Files\\A B\\run.cmd"},
        {L"C:\\Program Files\\A B\\a.exe", L"C:\\Program Files\\A B\\a.exe"},
        {L"\"C:\\unclosed.exe", L"C:\\unclosed.exe"},
        {L"\"", L""},
        {L" ", L""},
    };
    for (const auto& [path, image] : actions) EXPECT_EQ(ImageOfTaskAction(path), image) << path;
}

TEST(PackageResourceReference, PointsAManifestsResourceNameIntoItsPackage) {
    constexpr wchar_t kFull[] = L"Maker.App_1.2.0.0_x64__8wekyb3d8bbwe";
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"ms-resource:AppName",
         L"@{Maker.App_1.2.0.0_x64__8wekyb3d8bbwe?ms-resource://Maker.App/resources/AppName}"},
        {L"ms-resource:Strings/Title",
         L"@{Maker.App_1.2.0.0_x64__8wekyb3d8bbwe?ms-resource://Maker.App/Strings/Title}"},
        {L"ms-resource:/Files/Name",
         L"@{Maker.App_1.2.0.0_x64__8wekyb3d8bbwe?ms-resource://Maker.App/Files/Name}"},
        {L"MS-Resource://Other/resources/X",
         L"@{Maker.App_1.2.0.0_x64__8wekyb3d8bbwe?ms-resource://Other/resources/X}"},
        {L"Maker App", L""},  // a plain name is shown as it is
        {L"ms-resource:", L""},
    };
    for (const auto& [name, reference] : cases) {
        EXPECT_EQ(PackageResourceReference(kFull, name), reference) << name;
    }
    EXPECT_EQ(PackageResourceReference(L"NoUnderscore", L"ms-resource:AppName"), L"");
}

WatchedProcess Process(std::uint32_t id, std::uint32_t parent, std::int64_t createdMs,
                       const wchar_t* image, std::int64_t cpuMs, std::uint64_t io = 0) {
    WatchedProcess process{id, parent, kSignIn + createdMs * kMs, image, L"", {}, {}};
    process.last = {cpuMs * static_cast<std::int64_t>(kMs), io};
    return process;
}

TEST(AttributeStartup, GivesEachProcessItsNearestEntryAndSortsSlowestFirst) {
    const std::vector<StartupEntry> entries = {
        {L"Updater", L"C:\\Apps\\updater.exe"},
        {L"Notes", L"notepad.exe"},
        {L"Twin A", L"C:\\Shared\\host.exe"},
        {L"Twin B", L"c:\\shared\\HOST.exe"},
        {L"Updater", L"C:\\Apps\\updater.exe"},  // the same value in the other registry view
        {L"Nightly Backup", L"C:\\Program Files\\Backup\\backup.exe"}};  // a task's action
    std::vector<WatchedProcess> processes = {
        Process(10, 4, 2000, L"C:\\Apps\\Updater.exe", 200, 100),
        Process(11, 10, 2500, L"C:\\Apps\\worker.exe", 900, 200'000),  // a child counts to it
        Process(12, 11, 3000, L"C:\\Windows\\conhost.exe", 50),        // and a grandchild
        Process(20, 4, 5000, L"C:\\Windows\\notepad.exe", 400),        // by file name
        Process(30, 4, 6000, L"C:\\Shared\\host.exe", 10),             // two entries: its image
        Process(40, 99, 7000, L"C:\\Other\\tool.exe", 1200),           // no entry
        Process(99, 4, 8000, L"C:\\Apps\\updater.exe", 5),  // an id reused after its child's start
        Process(50, 4, -60'000, L"C:\\Windows\\explorer.exe", 0),
    };
    processes.back().first = {900 * static_cast<std::int64_t>(kMs), 10};  // before the sign-in
    processes.back().last = {1500 * static_cast<std::int64_t>(kMs), 40};
    processes.push_back(Process(60, 4, 9000, L"C:\\Store\\app.exe", 0, 4'000'000));
    processes.back().packageFamily = L"Maker.App_8wekyb3d8bbwe";
    processes.push_back(Process(61, 4, 9500, L"C:\\Store\\other.exe", 0, 2'000'000));
    processes.back().packageFamily = L"Maker.Other_8wekyb3d8bbwe";  // no display name read
    processes.push_back(Process(70, 4, 4000, L"C:\\PROGRAM FILES\\Backup\\Backup.exe", 800));
    const std::vector<PackageName> packages = {{L"maker.app_8wekyb3d8bbwe", L"Maker App"},
                                               {L"Maker.Other_8wekyb3d8bbwe", L""}};

    const auto programs = AttributeStartup(processes, entries, kSignIn, packages);
    struct Expected {
        const wchar_t* entry;
        std::int64_t cpuMs;
        std::uint64_t io;
        std::int64_t offsetMs;
    };
    const Expected expected[] = {{L"tool.exe", 1200, 0, 7000},
                                 {L"Updater", 1155, 200'100, 2000},
                                 {L"Maker App", 0, 4'000'000, 9000},
                                 {L"Nightly Backup", 800, 0, 4000},
                                 {L"explorer.exe", 600, 30, -60'000},
                                 {L"Notes", 400, 0, 5000},
                                 {L"Maker.Other_8wekyb3d8bbwe", 0, 2'000'000, 9500},
                                 {L"host.exe", 10, 0, 6000}};
    ASSERT_EQ(programs.size(), std::size(expected));
    for (std::size_t i = 0; i < programs.size(); ++i) {
        EXPECT_EQ(programs[i].entry, expected[i].entry) << i;
        EXPECT_EQ(programs[i].cpuMs, expected[i].cpuMs) << i;
        EXPECT_EQ(programs[i].ioBytes, expected[i].io) << i;
        EXPECT_EQ(programs[i].startOffsetMs, expected[i].offsetMs) << i;
    }
    EXPECT_EQ(programs[1].image, L"C:\\Apps\\Updater.exe");
}

TEST(WindowsAndServicesMs, IsTheBusyTimeLessWhatTheProcessesSpentSinceTheFirstReading) {
    const std::uint64_t first = kSignIn + 1000 * kMs;
    std::vector<WatchedProcess> processes = {Process(1, 0, 500, L"a.exe", 300),
                                             Process(2, 0, 2000, L"b.exe", 200)};
    processes[0].first = {100 * static_cast<std::int64_t>(kMs), 0};  // 200 ms since the reading
    EXPECT_EQ(WindowsAndServicesMs(1000 * kMs, processes, first), 600);
    EXPECT_EQ(WindowsAndServicesMs(300 * kMs, processes, first), 0);  // never below 0
}

TEST(SettleClock, SettlesWhenTenSecondsOfIdleSamplesHaveAccumulated) {
    const std::uint64_t shell = kSignIn;
    struct Case {
        std::uint64_t idle, total;  // per 100 ms sample, 100 ns over all processors
        int samples;
        std::optional<std::int64_t> settledMs;
    } cases[] = {
        {800, 1000, 100, 10'000},  // exactly 80 % idle counts
        {799, 1000, 100, std::nullopt},  {1000, 1000, 99, std::nullopt},  // 9.9 s of idle
        {0, 0, 200, std::nullopt},        // a clock that does not move says nothing
        {1200, 1000, 200, std::nullopt},  // idle beyond the total is no reading
    };
    for (const Case& c : cases) {
        SettleClock clock(shell);
        clock.Add(shell - kMs, 100, 1000, 1000);  // before the shell: not its desktop's
        for (int i = 1; i <= c.samples; ++i) clock.Add(shell + i * 100 * kMs, 100, c.idle, c.total);
        EXPECT_EQ(clock.SettledMs(), c.settledMs) << c.idle << "/" << c.total;
    }
    SettleClock busyFirst(shell);  // the idle need not be in one stretch
    for (int i = 1; i <= 150; ++i) busyFirst.Add(shell + i * 100 * kMs, 100, i % 3 ? 900 : 0, 1000);
    EXPECT_EQ(busyFirst.SettledMs(), 14'900);
}

TEST(PlanWatch, WatchesAMeasuredFirstLogOnWhileItsWindowIsOpen) {
    StartMeasurement first;
    first.kind = StartKind::FullBoot;
    first.startUtc = kSignIn - 60'000 * kMs;
    first.shellCreatedUtc = kSignIn + 4000 * kMs;
    first.signedInUtc = kSignIn;
    const auto plan = PlanWatch(first, kSignIn + 10'000 * kMs);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->windowStartUtc, kSignIn);
    EXPECT_EQ(plan->windowEndUtc, kSignIn + 90'000 * kMs);
    EXPECT_FALSE(PlanWatch(first, kSignIn + 90'000 * kMs)) << "started by hand later";
    StartMeasurement noSignIn = first;
    noSignIn.signedInUtc = 0;
    EXPECT_EQ(PlanWatch(noSignIn, kSignIn)->windowStartUtc, first.shellCreatedUtc);
    StartMeasurement later = first;
    later.logon = LogonKind::Later;
    StartMeasurement notMeasured = first;
    notMeasured.kind = StartKind::NotMeasured;
    EXPECT_FALSE(PlanWatch(later, kSignIn));
    EXPECT_FALSE(PlanWatch(notMeasured, kSignIn));
}

}  // namespace
}  // namespace vossel
