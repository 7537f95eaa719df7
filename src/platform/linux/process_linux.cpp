// Linux process services: the instance mutex as a lock file beside the user's
// settings file, held with flock, nice values and CPU affinity for every thread of the process, a built-in
// table of Windows locales, and language modules in our own file format.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/language_module_file.h"
#include "platform/linux/private_files.h"
#include "platform/process.h"

namespace {

// Windows' locales as EnumSystemLocales lists them (ascending LCID), with their
// abbreviated and English language names. The German-speaking locales share DEU
// so that one module serves them all.
const LOCALE_RECORD kLocales[] = {
    {0x0401, "ARA", "Arabic"},     {0x0402, "BGR", "Bulgarian"},  {0x0403, "CAT", "Catalan"},
    {0x0404, "CHT", "Chinese"},    {0x0405, "CSY", "Czech"},      {0x0406, "DAN", "Danish"},
    {0x0407, "DEU", "German"},     {0x0408, "ELL", "Greek"},      {0x0409, "ENU", "English"},
    {0x040a, "ESP", "Spanish"},    {0x040b, "FIN", "Finnish"},    {0x040c, "FRA", "French"},
    {0x040d, "HEB", "Hebrew"},     {0x040e, "HUN", "Hungarian"},  {0x040f, "ISL", "Icelandic"},
    {0x0410, "ITA", "Italian"},    {0x0411, "JPN", "Japanese"},   {0x0412, "KOR", "Korean"},
    {0x0413, "NLD", "Dutch"},      {0x0414, "NOR", "Norwegian"},  {0x0415, "PLK", "Polish"},
    {0x0416, "PTB", "Portuguese"}, {0x0418, "ROM", "Romanian"},   {0x0419, "RUS", "Russian"},
    {0x041a, "HRV", "Croatian"},   {0x041b, "SKY", "Slovak"},     {0x041c, "SQI", "Albanian"},
    {0x041d, "SVE", "Swedish"},    {0x041e, "THA", "Thai"},       {0x041f, "TRK", "Turkish"},
    {0x0421, "IND", "Indonesian"}, {0x0422, "UKR", "Ukrainian"},  {0x0423, "BEL", "Belarusian"},
    {0x0424, "SLV", "Slovenian"},  {0x0425, "ETI", "Estonian"},   {0x0426, "LVI", "Latvian"},
    {0x0427, "LTH", "Lithuanian"}, {0x042a, "VIT", "Vietnamese"}, {0x0436, "AFK", "Afrikaans"},
    {0x0804, "CHS", "Chinese"},    {0x0807, "DEU", "German"},     {0x0809, "ENG", "English"},
    {0x080a, "ESM", "Spanish"},    {0x080c, "FRB", "French"},     {0x0810, "ITS", "Italian"},
    {0x0813, "NLB", "Dutch"},      {0x0816, "PTG", "Portuguese"}, {0x0c07, "DEU", "German"},
    {0x0c09, "ENA", "English"},    {0x0c0a, "ESN", "Spanish"},    {0x0c0c, "FRC", "French"},
    {0x1007, "DEU", "German"},     {0x1009, "ENC", "English"},    {0x100c, "FRS", "French"},
    {0x1407, "DEU", "German"},     {0x1409, "ENZ", "English"},
};

constexpr size_t kMutexNameMax = 200;


// Every thread of the process: nice values and affinity are per thread on Linux.
std::vector<pid_t> ProcessThreads() {
  std::vector<pid_t> tids;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) {
      char* end = nullptr;
      long tid = strtol(e->d_name, &end, 10);
      if (end && *end == '\0' && tid > 0) tids.push_back(pid_t(tid));
    }
    closedir(d);
  }
  if (tids.empty()) tids.push_back(pid_t(syscall(SYS_gettid)));
  return tids;
}

uintptr_t MaskOf(const cpu_set_t& set) {
  uintptr_t mask = 0;
  for (unsigned cpu = 0; cpu < sizeof(uintptr_t) * CHAR_BIT; ++cpu)
    if (CPU_ISSET(cpu, &set)) mask |= uintptr_t(1) << cpu;
  return mask;
}

uintptr_t CurrentAffinity() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 0;
  return MaskOf(set);
}

// The processors the process could use when it started: the "system" mask, which
// pinning the process later must not shrink.
const uintptr_t g_startAffinity = CurrentAffinity();

bool ApplyNice(int nice) {
  bool all = true;
  for (pid_t tid : ProcessThreads())
    if (setpriority(PRIO_PROCESS, id_t(tid), nice) != 0) all = false;
  return all;
}

class CLinuxProcessServices final : public CProcessServices {
 public:
  MUTEX_RESULT CreateInstanceMutex(const std::string& name) override {
    if (name.empty()) return MUTEX_RESULT::Created;  // an unnamed mutex is never shared
    if (name.size() > kMutexNameMax) return MUTEX_RESULT::Failed;
    std::lock_guard<std::mutex> g(m_lock);
    if (m_heldNames.count(name)) return MUTEX_RESULT::AlreadyExists;
    std::string path;
    if (!InstanceLockPath(name, path)) return MUTEX_RESULT::Failed;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return MUTEX_RESULT::Failed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
      close(fd);
      return MUTEX_RESULT::Failed;
    }
    // The descriptor stays open for the life of the process: the lock is the mutex.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      close(fd);
      return error == EWOULDBLOCK ? MUTEX_RESULT::AlreadyExists : MUTEX_RESULT::Failed;
    }
    // The kernel releases the lock when the process ends, however it ends.
    m_heldNames.insert(name);
    return MUTEX_RESULT::Created;
  }

  HRESULT InitializeCom() override { return S_OK; }
  void UninitializeCom() override {}
  bool StartupSockets(WORD) override { return true; }
  void CleanupSockets() override {}
  void InitCommonControls() override {}

  bool SetPriorityClass(int priority) override {
    // Normal nice 0, high -10, realtime the strongest nice the user may take
    // (no real-time scheduling class: a busy receiver must not starve the system).
    const int wanted = priority == kPriorityNormal ? 0 : priority == kPriorityRealtime ? -20 : -10;
    if (ApplyNice(wanted)) return true;
    // RLIMIT_NICE allows nice values down to 20 - limit.
    rlimit limit{};
    int floor = 0;
    if (getrlimit(RLIMIT_NICE, &limit) == 0)
      floor = limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40 ? -20 : 20 - int(limit.rlim_cur);
    errno = 0;
    int current = getpriority(PRIO_PROCESS, 0);
    if (errno != 0) current = 0;
    int best = wanted < floor ? floor : wanted;
    if (best < current) ApplyNice(best);
    return priority == kPriorityRealtime;
  }

  bool SetAffinityMask(uintptr_t mask) override {
    uintptr_t system = 0;
    if (mask == 0 || !GetSystemAffinityMask(&system) || (mask & ~system) != 0) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (unsigned cpu = 0; cpu < sizeof(uintptr_t) * CHAR_BIT; ++cpu)
      if (mask & (uintptr_t(1) << cpu)) CPU_SET(cpu, &set);
    bool all = true;
    for (pid_t tid : ProcessThreads())
      if (sched_setaffinity(tid, sizeof(set), &set) != 0) all = false;
    return all;
  }

  bool GetSystemAffinityMask(uintptr_t* mask) override {
    if (!mask) return false;
    *mask = g_startAffinity | CurrentAffinity();
    return *mask != 0;
  }

  std::vector<LOCALE_RECORD> EnumerateLocales() override {
    return std::vector<LOCALE_RECORD>(std::begin(kLocales), std::end(kLocales));
  }

  std::string LocaleEnglishLanguageName(DWORD id) override {
    // Neutral locales are the primary language id alone.
    for (const LOCALE_RECORD& l : kLocales)
      if (l.id == id || (id <= 0x3ff && (l.id & 0x3ff) == id)) return l.englishName;
    return {};
  }

  bool FileExists(const std::string& path) override {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string& path) override {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    std::string bytes;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && size_t(st.st_size) <= kLanguageModuleMaxBytes;
    if (ok) {
      bytes.resize(size_t(st.st_size));
      size_t done = 0;
      while (done < bytes.size()) {
        ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
      }
      ok = done == bytes.size();
    }
    close(fd);
    return ok ? CreateLanguageModule(bytes) : nullptr;
  }

 private:
  std::mutex m_lock;
  std::set<std::string> m_heldNames;
};

}  // namespace

CProcessServices& OsProcessServices() {
  static CLinuxProcessServices services;
  return services;
}
