// console-soak: the real console window (offscreen), logged in, worked by a tireless operator
// for a given time against whatever fleet its configuration folder names, to show that a long
// run stays clean: no stall of the window, no growth of memory, a close that ends promptly.
//
//   console-soak --seconds N [--search-port PORT] [--backup FILE]
//
// The operator, on timers of the window's thread: selects displays and groups and switches
// pages (each a read), changes list settings of a display or of a group (a send to every
// member), asks the group status and Status, connects a display, saves one display's settings
// and loads them into a group, searches (on PORT, to TARNEX_BROADCAST_ADDR), and presses TEST
// in the Alarm dialog. Boxes are counted, not shown. A 10 ms heartbeat on the window's thread
// measures the longest gap between its ticks; each gap of 100 ms or more is printed with what
// the thread did in it (worked, waited for a processor, waited in which system call) and
// whether two pulses on threads of their own stalled meanwhile (one only sleeps, one takes the
// console lock), to tell a stalled process or a long-held lock from the window's own waits.
// The heartbeat gap reported is the window's own; a gap in which the sleeping pulse stalled too
// (the whole process held, as the sanitizer's own pauses do) is reported as a process stall. Memory
// is sampled after the start-up connects, after a warm-up (a fifth of the run, at most a minute)
// and at the end; the growth shown is from the warm-up to the end. At the end the window is closed
// as by its close button and one line is printed:
//
//   soak: 600 s, rss start 61.2 MB warm 63.0 MB end 63.4 MB (+0.4 MB), heap start .. warm ..
//   end .. (+..),
//   heartbeat gap 23 ms (busy 4 ms), process stall 0 ms, job wait 812 ms, close 310 ms, ...
//
// The exit status is the console's, or 3 when the close took longer than 2 s.
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/alarm_dlg.h"
#include "app/network_manager_app.h"
#include "console/display_discovery.h"
#include "monitor/advanced_tables.h"
#include "monitor/picture_tables.h"
#include "monitor/special_tables.h"
#include "pages/information_back.h"
#include "pages/menu_page.h"
#include "support/typed_login.h"

// Live heap bytes, when a sanitizer's allocator runs the process.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kTick = 150ms;       // the operator's pace
constexpr auto kHeartbeat = 10ms;   // the window's pulse
constexpr auto kLongGap = 100ms;    // a heartbeat gap this long is recorded and explained
constexpr auto kCloseLimit = 2s;    // a close that takes longer fails the run
constexpr auto kBackupEvery = 60s;  // save one display, load it into a group
constexpr auto kSearchEvery = 45s;
constexpr auto kMailEvery = 60s;     // TEST in the Alarm dialog
constexpr auto kDialogOpenFor = 3s;  // the operator reads the dialog, then cancels it
constexpr auto kStartLimit = 120s;   // for the start-up connects
// Caches, allocator arenas and worker threads fill during the first part of the run; growth
// after it is what a leak would show.
constexpr auto kWarmUpLimit = 60s;
constexpr double kMegabyte = 1024.0 * 1024.0;

struct SoakOptions {
  std::chrono::seconds length{600};
  int searchPort = 0;  // 0: no search
  std::string backupPath;
};

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      double kilobytes = 0;
      status >> kilobytes;
      return kilobytes / 1024.0;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

double HeapMegabytes() {
  if (&__sanitizer_get_current_allocated_bytes != nullptr) {
    return static_cast<double>(__sanitizer_get_current_allocated_bytes()) / kMegabyte;
  }
  return static_cast<double>(mallinfo2().uordblks) / kMegabyte;
}

// CPU time of the calling thread so far, in seconds.
double ThreadCpuSeconds() {
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

long long Milliseconds(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// Time the calling thread has waited on a run queue for a processor so far, in ms.
double ThreadQueuedMilliseconds() {
  std::ifstream stat("/proc/thread-self/schedstat");
  unsigned long long ran = 0;
  unsigned long long queued = 0;
  stat >> ran >> queued;
  return static_cast<double>(queued) / 1e6;
}

// A thread of its own that beats every 10 ms beside the window's heartbeat, to tell what held
// the window: a pulse that only sleeps stalls with it when the whole process stalled (no free
// processor, or the sanitizer's own pauses); a pulse that takes the console lock waits when the
// lock was held long.
class Pulse {
 public:
  struct Stall {
    Clock::time_point end;
    Clock::duration length;
  };

  explicit Pulse(std::function<void()> beat) : m_beat(std::move(beat)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~Pulse() { Stop(); }
  Pulse(const Pulse&) = delete;
  Pulse& operator=(const Pulse&) = delete;

  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  // The longest stall that overlaps [from, to]; after Stop().
  Clock::duration LongestWithin(Clock::time_point from, Clock::time_point to) const {
    Clock::duration longest{};
    for (const Stall& stall : m_stalls) {
      if (stall.end >= from && stall.end - stall.length <= to) {
        longest = std::max(longest, stall.length);
      }
    }
    return longest;
  }

 private:
  void Run() {
    auto last = Clock::now();
    while (!m_stop) {
      std::this_thread::sleep_for(kPulse);
      if (m_beat) m_beat();
      const auto now = Clock::now();
      if (now - last > kStall && m_stalls.size() < kMaxStalls) {
        m_stalls.push_back({now, now - last - kPulse});
      }
      last = now;
    }
  }

  static constexpr auto kPulse = std::chrono::milliseconds(10);
  static constexpr auto kStall = std::chrono::milliseconds(60);
  static constexpr std::size_t kMaxStalls = 100000;
  std::function<void()> m_beat;
  std::atomic<bool> m_stop{false};
  std::vector<Stall> m_stalls;  // the pulse's thread until Stop()
  std::thread m_thread;
};

// The operator and the measurements. UI thread, but for the search's hooks (counters).
class SoakOperator {
 public:
  SoakOperator(CMainFrame& frame, SoakOptions options)
      : m_frame(frame),
        m_options(std::move(options)),
        m_discovery(frame.View().Core()),
        m_random(20240611) {}

  // Boxes are counted by their text; the presenter of the run.
  void CountBox(const QString& text) {
    ++m_boxes;
    if (m_boxTexts.size() < 200 || m_boxTexts.contains(text)) ++m_boxTexts[text];
  }

  // Once the window is up: waits for the start-up connects without holding the window, then
  // plays the operator.
  void Start() {
    const auto since = Clock::now();
    testing::RepeatOnUi([this, since] {
      if (View().Core().Jobs().Busy() && Clock::now() - since < kStartLimit) return false;
      Begin();
      return true;
    });
  }

  int ExitCode() const { return m_exitCode; }

  // After the event loop ended: the close's length and the summary.
  void Report(int status) {
    const auto close = Clock::now() - m_closeAsked;
    const bool slowClose = close > kCloseLimit;
    std::fprintf(stderr, "soak: boxes %d\n", m_boxes);
    for (const auto& [text, count] : m_boxTexts) {
      std::fprintf(stderr, "soak: box %dx \"%s\"\n", count,
                   text.left(120).replace('\n', ' ').toLocal8Bit().constData());
    }
    ReportGaps();
    std::printf(
        "soak: %lld s, rss start %.1f MB warm %.1f MB end %.1f MB (%+.1f MB), heap start %.1f MB "
        "warm %.1f MB end %.1f MB (%+.1f MB), heartbeat gap %lld ms (busy %lld ms), process stall "
        "%lld ms, "
        "job wait %lld ms, close %lld ms, "
        "actions %d, backups %d, searches %d, test mails %d\n",
        static_cast<long long>(m_options.length.count()), m_rssStart, m_rssWarm, m_rssEnd,
        m_rssEnd - m_rssWarm, m_heapStart, m_heapWarm, m_heapEnd, m_heapEnd - m_heapWarm,
        Milliseconds(m_longestGap),
        Milliseconds(std::chrono::duration_cast<Clock::duration>(m_longestGapBusy)),
        Milliseconds(m_processStall), Milliseconds(m_jobWait), Milliseconds(close), m_actions,
        m_backups, m_searches.load(), m_testMails);
    std::fflush(stdout);
    if (slowClose) {
      std::fprintf(stderr, "soak: the close took %lld ms\n", Milliseconds(close));
      m_exitCode = 3;
    } else {
      m_exitCode = status;
    }
  }

 private:
  COsprelNetworkManagerView& View() { return m_frame.View(); }
  QTreeView* Tree() { return View().TreeView(); }

  void Begin() {
    m_rssStart = ResidentMegabytes();
    m_heapStart = HeapMegabytes();
    m_begin = Clock::now();
    m_cpuStart = ThreadCpuSeconds();
    m_nextBackup = m_begin + 5s;
    m_nextSearch = m_begin + 15s;
    m_nextMail = m_begin + 25s;
    std::fprintf(stderr, "soak: operating, rss %.1f MB, %d displays, %d groups\n", m_rssStart,
                 ChildCount(kSingleRow), ChildCount(kGroupRow));
    QObject::connect(&m_heartbeat, &QTimer::timeout, [this] { Beat(); });
    m_heartbeat.setTimerType(Qt::PreciseTimer);
    m_lastBeat = Clock::now();
    m_lastBeatAtomic = m_lastBeat.time_since_epoch().count();
    m_lastBeatCpu = ThreadCpuSeconds();
    m_lastQueued = ThreadQueuedMilliseconds();
    m_uiTask = "/proc/self/task/" + std::to_string(gettid()) + "/syscall";
    m_sleeper = std::make_unique<Pulse>([this] { SampleUi(); });
    m_locker = std::make_unique<Pulse>([&core = View().Core()] { auto state = core.Lock(); });
    m_heartbeat.start(kHeartbeat);
    QObject::connect(&m_operator, &QTimer::timeout, [this] { Act(); });
    m_operator.start(kTick);
  }

  void Beat() {
    const auto now = Clock::now();
    const auto gap = now - m_lastBeat;
    const double cpu = ThreadCpuSeconds();
    m_lastBeat = now;
    m_lastBeatAtomic = now.time_since_epoch().count();
    // How much of the gap the window's thread worked; the rest it waited.
    // Longer gaps are recorded below and judged in ReportGaps.
    if (gap <= kLongGap && gap > m_longestGap) {
      m_longestGap = gap;
      m_longestGapBusy = std::chrono::duration<double>(cpu - m_lastBeatCpu);
    }
    // The worst stalls, with what the operator did last, to find their cause.
    const double queued = ThreadQueuedMilliseconds();
    if (gap > kLongGap && m_gaps.size() < 100000) {
      m_gaps.push_back({now - gap, now, cpu - m_lastBeatCpu, queued - m_lastQueued, m_lastAction});
    }
    m_lastBeatCpu = cpu;
    m_lastQueued = queued;
  }

  // While the window's thread is stalled, what it waits in: its system call and first argument
  // ("202" is a futex, with its lock word, named "core+N" when it is one of the console core's
  // locks; "7" is poll, the event loop with nothing to do).
  void SampleUi() {
    const auto last = Clock::time_point(Clock::duration(m_lastBeatAtomic.load()));
    if (Clock::now() - last < 50ms) return;
    std::ifstream file(m_uiTask);
    std::string call;
    std::string arg;
    file >> call >> arg;
    const auto core = reinterpret_cast<std::uintptr_t>(&View().Core());
    const auto address = std::strtoull(arg.c_str(), nullptr, 16);
    if (address >= core && address < core + sizeof(CConsoleCore)) {
      arg = "core+" + std::to_string(address - core);
    }
    std::lock_guard lock(m_samplesMutex);
    if (m_samples.size() < 100000) m_samples.push_back({Clock::now(), call + " " + arg});
  }
  std::string SamplesWithin(Clock::time_point from, Clock::time_point to) {
    std::lock_guard lock(m_samplesMutex);
    std::map<std::string, int> seen;
    for (const auto& [when, text] : m_samples) {
      if (when >= from && when <= to) ++seen[text];
    }
    std::string out;
    for (const auto& [text, count] : seen) out += " [" + text + " x" + std::to_string(count) + "]";
    return out;
  }

  // Each gap of 100 ms or more, split into what the window's thread did meanwhile: worked
  // (cpu), waited for a processor (queued), or slept while the whole process stalled (the
  // sleeping pulse stalled too) or while the console lock was held (the locking pulse waited).
  void ReportGaps() {
    int stalled = 0;
    int locked = 0;
    int queued = 0;
    std::vector<std::pair<long long, std::string>> lines;
    for (const Gap& gap : m_gaps) {
      const long long length = Milliseconds(gap.end - gap.start);
      const long long sleeper = Milliseconds(m_sleeper->LongestWithin(gap.start, gap.end));
      const long long locker = Milliseconds(m_locker->LongestWithin(gap.start, gap.end));
      // A thread that takes none of the console's locks stalled with the window: the whole
      // process was held (the sanitizer's own pauses), which no code of the console can do.
      // Told apart, not judged as the window's gap.
      if (sleeper * 2 >= length) {
        ++stalled;
        m_processStall = std::max(m_processStall, gap.end - gap.start);
      } else if (gap.end - gap.start > m_longestGap) {
        m_longestGap = gap.end - gap.start;
        m_longestGapBusy = std::chrono::duration<double>(gap.cpuSeconds);
      }
      if (locker > sleeper + length / 4) ++locked;
      if (gap.queuedMs * 2 >= static_cast<double>(length)) ++queued;
      char line[1024];
      std::snprintf(line, sizeof line,
                    "%lld ms (cpu %.0f, queued %.0f, pulse %lld, lock %lld) after %s", length,
                    gap.cpuSeconds * 1000, gap.queuedMs, sleeper, locker,
                    (gap.after + SamplesWithin(gap.start, gap.end)).c_str());
      lines.emplace_back(length, line);
    }
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::fprintf(stderr,
                 "soak: %zu heartbeat gaps of 100 ms or more: %d with the whole process stalled, "
                 "%d waiting for the console lock, %d mostly waiting for a processor\n",
                 m_gaps.size(), stalled, locked, queued);
    for (std::size_t i = 0; i < lines.size() && i < 40; ++i) {
      std::fprintf(stderr, "soak:   gap %s\n", lines[i].second.c_str());
    }
  }

  // ---- The tree ----
  static constexpr int kSingleRow = 0;
  static constexpr int kGroupRow = 1;
  int ChildCount(int root) {
    QAbstractItemModel* model = Tree()->model();
    return model->rowCount(model->index(root, 0));
  }
  QModelIndex Child(int root, int row) {
    QAbstractItemModel* model = Tree()->model();
    return model->index(row, 0, model->index(root, 0));
  }
  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }
  bool SelectRandom(int root) {
    const int count = ChildCount(root);
    if (count == 0) return false;
    Tree()->setCurrentIndex(Child(root, Pick(count)));
    return true;
  }

  // ---- The pages ----
  static std::span<const PageSetting> SettingsOf(PageKind kind) {
    if (kind == PageKind::kPicture) return picture::kSettings;
    if (kind == PageKind::kAdvanced) return advanced::kSettings;
    if (kind == PageKind::kSpecial) return special::kSettings;
    return {};
  }
  void ShowPage(PageKind kind) {
    if (kind == PageKind::kInformation) {
      InformationBack()->Sheet()->ShowPage(CMyPropertySheetInformation::kSingle);
    }
    View().Sheet().ShowPage(kind);
  }
  CInformationBack* InformationBack() { return View().Sheet().InformationBack(); }
  // The next entry of one of the page's lists, as the operator picks it: a send to the
  // selected display or to every member of the selected group.
  bool ChangeList(PageKind kind) {
    auto* page = dynamic_cast<CMenuPage*>(View().Sheet().Page(kind));
    const auto settings = SettingsOf(kind);
    if (page == nullptr || settings.empty()) return false;
    std::vector<int> lists;
    for (size_t i = 0; i < settings.size(); ++i) {
      QComboBox* list = page->List(static_cast<int>(i));
      if (!settings[i].IsSlider() && list != nullptr && list->isEnabled() && list->count() > 1) {
        lists.push_back(static_cast<int>(i));
      }
    }
    if (lists.empty()) return false;
    QComboBox* list = page->List(lists[static_cast<size_t>(Pick(static_cast<int>(lists.size())))]);
    list->setCurrentIndex((std::max(0, list->currentIndex()) + 1) % list->count());
    return true;
  }

  // ---- The operator ----
  void Note(const char* action) {
    m_lastAction = action;
    ++m_actions;
  }

  void Act() {
    const auto now = Clock::now();
    if (now - m_begin >= m_options.length) {
      End();
      return;
    }
    if (!m_warm && now - m_begin >= std::min<Clock::duration>(kWarmUpLimit, m_options.length / 5)) {
      m_warm = true;
      m_rssWarm = ResidentMegabytes();
      m_heapWarm = HeapMegabytes();
    }
    if (HandleModal(now)) return;
    FollowBackup(now);
    if (now >= m_nextSearch && m_options.searchPort > 0 && !m_searching.load()) Search(now);
    if (now >= m_nextMail) {
      Note("alarm dialog");
      m_nextMail = now + kMailEvery;
      QMetaObject::invokeMethod(m_frame.AlarmAction(), &QAction::trigger, Qt::QueuedConnection);
      return;
    }
    if (m_wait > 0) {
      --m_wait;
      return;
    }
    Scene();
  }

  // A scene, then some ticks for the console to work on it.
  void Scene() {
    static constexpr PageKind kPages[] = {PageKind::kInformation, PageKind::kControl,
                                          PageKind::kPicture, PageKind::kAdvanced,
                                          PageKind::kSpecial};
    static constexpr PageKind kMenuPages[] = {PageKind::kPicture, PageKind::kAdvanced,
                                              PageKind::kSpecial};
    switch (m_scene++ % 6) {
      case 0:  // a display and one of its pages
        Note("display page");
        ShowPage(kPages[Pick(5)]);
        SelectRandom(kSingleRow);
        m_wait = 6;
        break;
      case 1: {  // a setting of the display
        Note("display setting");
        const PageKind kind = kMenuPages[Pick(3)];
        ShowPage(kind);
        ChangeList(kind);
        m_wait = 4;
        break;
      }
      case 2: {  // a setting sent to a group
        Note("group send");
        const PageKind kind = kMenuPages[Pick(3)];
        ShowPage(kind);
        if (SelectRandom(kGroupRow)) ChangeList(kind);
        m_wait = 10;
        break;
      }
      case 3:  // the group status
        Note("group status");
        if (SelectRandom(kGroupRow)) {
          InformationBack()->Sheet()->ShowPage(CMyPropertySheetInformation::kGroup);
          View().Sheet().ShowPage(PageKind::kInformation);
        }
        m_wait = 10;
        break;
      case 4:  // Status: the selection read again
        Note("status");
        m_frame.StatusAction()->trigger();
        m_wait = 4;
        break;
      default:  // Connect of a display
        Note("connect");
        SelectRandom(kSingleRow);
        m_frame.ConnectAction()->trigger();
        m_wait = 4;
        break;
    }
  }

  // The Alarm dialog: TEST, a few seconds to read the answer, Cancel. Any other modal window
  // (a question) is answered No and counted, so that nothing holds the operator.
  bool HandleModal(Clock::time_point now) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return false;
    if (auto* alarm = dynamic_cast<CAlarmDlg*>(modal)) {
      if (m_alarmDialog != alarm) {
        m_alarmDialog = alarm;
        m_alarmOpened = now;
        Note("alarm test");
        alarm->TestButton()->click();
        ++m_testMails;
      } else if (now - m_alarmOpened >= kDialogOpenFor) {
        Note("alarm cancel");
        // The next dialog may well be built at the same address.
        m_alarmDialog = nullptr;
        alarm->CancelButton()->click();
      }
      return true;
    }
    if (auto* box = dynamic_cast<QMessageBox*>(modal)) {
      CountBox(QStringLiteral("question: ") + box->text());
      box->reject();
      return true;
    }
    CountBox(QStringLiteral("window: ") + modal->windowTitle());
    modal->close();
    return true;
  }

  // Save one display's settings, then load them into a group, each on the backup's worker.
  void FollowBackup(Clock::time_point now) {
    CSettingsBackup& backup = View().Backup();
    if (backup.Running()) return;
    if (m_backupStep == BackupStep::kSaving) {
      Note("load configuration");
      if (SelectRandom(kGroupRow)) {
        backup.LoadConfiguration();
        m_backupStep = BackupStep::kRestoring;
        return;
      }
      m_backupStep = BackupStep::kIdle;
    }
    if (m_backupStep == BackupStep::kRestoring) {
      ++m_backups;
      m_backupStep = BackupStep::kIdle;
      m_nextBackup = now + kBackupEvery;
    }
    if (m_backupStep == BackupStep::kIdle && now >= m_nextBackup && SelectRandom(kSingleRow)) {
      Note("save configuration");
      backup.SetFileChooser([path = QString::fromStdString(m_options.backupPath)](
                                BackupFileDialog, QWidget*) { return path; });
      backup.SaveConfiguration();
      m_backupStep = BackupStep::kSaving;
    }
  }

  void Search(Clock::time_point now) {
    Note("search");
    m_nextSearch = now + kSearchEvery;
    m_searching = true;
    SearchOptions options;
    options.port = static_cast<uint16_t>(m_options.searchPort);
    options.cancelFd = View().Core().StopFd();
    CDisplayDiscovery::Hooks hooks;
    hooks.completed = [this] {
      ++m_searches;
      m_searching = false;
    };
    m_discovery.Start(std::move(options), std::move(hooks));
  }

  void End() {
    m_operator.stop();
    m_heartbeat.stop();
    if (m_sleeper) m_sleeper->Stop();
    if (m_locker) m_locker->Stop();
    m_jobWait = View().Core().Jobs().LongestWait();
    // Whether the window's thread was busy, or only waited for a processor, in its gaps.
    std::fprintf(stderr, "soak: window thread cpu %.1f s of %lld s\n",
                 ThreadCpuSeconds() - m_cpuStart, Milliseconds(Clock::now() - m_begin) / 1000);
    m_rssEnd = ResidentMegabytes();
    m_heapEnd = HeapMegabytes();
    m_closeAsked = Clock::now();
    m_frame.close();
  }

  CMainFrame& m_frame;
  const SoakOptions m_options;
  CDisplayDiscovery m_discovery;
  std::mt19937 m_random;
  QTimer m_heartbeat;
  QTimer m_operator;

  Clock::time_point m_begin;
  double m_cpuStart = 0;
  Clock::time_point m_lastBeat;
  Clock::duration m_longestGap{};
  std::chrono::duration<double> m_longestGapBusy{};
  Clock::duration m_processStall{};
  double m_lastBeatCpu = 0;
  struct Gap {
    Clock::time_point start;
    Clock::time_point end;
    double cpuSeconds;
    double queuedMs;
    std::string after;
  };
  std::vector<Gap> m_gaps;
  double m_lastQueued = 0;
  std::unique_ptr<Pulse> m_sleeper;
  std::atomic<Clock::rep> m_lastBeatAtomic{0};
  std::string m_uiTask;
  std::mutex m_samplesMutex;
  std::vector<std::pair<Clock::time_point, std::string>> m_samples;
  std::unique_ptr<Pulse> m_locker;
  std::string m_lastAction = "start";
  int m_scene = 0;
  int m_wait = 0;
  int m_actions = 0;

  enum class BackupStep { kIdle, kSaving, kRestoring };
  BackupStep m_backupStep = BackupStep::kIdle;
  Clock::time_point m_nextBackup;
  int m_backups = 0;
  Clock::time_point m_nextSearch;
  std::atomic<bool> m_searching{false};
  std::atomic<int> m_searches{0};
  Clock::time_point m_nextMail;
  QWidget* m_alarmDialog = nullptr;  // compared only: the dialog last seen
  Clock::time_point m_alarmOpened;
  int m_testMails = 0;

  int m_boxes = 0;
  std::map<QString, int> m_boxTexts;

  double m_rssStart = 0;
  bool m_warm = false;
  double m_rssWarm = 0;
  double m_heapWarm = 0;
  double m_rssEnd = 0;
  double m_heapStart = 0;
  double m_heapEnd = 0;
  Clock::duration m_jobWait{};
  Clock::time_point m_closeAsked;
  int m_exitCode = 0;
};

bool ParseOptions(int argc, char** argv, SoakOptions& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const std::string value = argv[i + 1];
    if (flag == "--seconds") {
      options.length = std::chrono::seconds(std::max(1, std::atoi(value.c_str())));
    } else if (flag == "--search-port") {
      options.searchPort = std::clamp(std::atoi(value.c_str()), 0, 65535);
    } else if (flag == "--backup") {
      options.backupPath = value;
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options.backupPath.empty();
}

}  // namespace
}  // namespace tarnex

int main(int argc, char* argv[]) {
  using namespace tarnex;
  SoakOptions soakOptions;
  if (!ParseOptions(argc, argv, soakOptions)) {
    std::fprintf(stderr, "usage: console-soak --backup FILE [--seconds N] [--search-port PORT]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // Created before the console, which holds the presenter; bound to its window afterwards.
  SoakOperator* soak = nullptr;
  COsprelNetworkManagerApp::Options options;
  options.presenter = [&soak](QWidget*, const QString& text) {
    if (soak != nullptr) soak->CountBox(text);
  };
  options.localeName = "en_US";
  COsprelNetworkManagerApp console(std::move(options));
  testing::TypeDefaultLogin();
  if (!console.InitInstance()) return console.ExitStatus();
  SoakOperator player(*console.MainFrame(), soakOptions);
  soak = &player;
  player.Start();
  const int status = console.Run();
  player.Report(status);
  soak = nullptr;
  return player.ExitCode();
}
