#include "app/runtime_loader.h"

#include <dlfcn.h>

#include <mutex>
#include <optional>

#include "util/files.h"

namespace virn::app {

namespace {

constexpr const char* kModuleName = "libvirn-tts-runtime.so";

class UnavailableBackend final : public speech::SpeechBackend {
 public:
  explicit UnavailableBackend(Error why) : why_(std::move(why)) {}
  Result<Bytes> synthesize(const speech::SpeechRequest&) override { return why_; }
  void cancel() override {}
  std::string describe() const override { return "语音组件不可用"; }

 private:
  Error why_;
};

}  // namespace

std::vector<std::string> runtime_candidates(const std::string& program_dir,
                                            const std::string& installed_relative_dir) {
  std::vector<std::string> candidates{program_dir + "/" + kModuleName};
  if (!installed_relative_dir.empty()) {
    candidates.push_back(program_dir + "/" + installed_relative_dir + "/" + kModuleName);
  }
  return candidates;
}

Result<const AppRuntime*> open_runtime(const std::vector<std::string>& candidates) {
  std::string tried;
  for (const std::string& path : candidates) {
    if (!file_exists(path)) continue;
    // Kept loaded for the life of the process: the backends and the player live in it.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      tried += "\n" + path + "：" + ::dlerror();
      continue;
    }
    auto entry = reinterpret_cast<RuntimeEntry>(::dlsym(module, kRuntimeEntry));
    if (entry == nullptr || entry() == nullptr) {
      tried += "\n" + path + "：不是语音组件";
      continue;
    }
    return entry();
  }
  if (tried.empty()) {
    for (const std::string& path : candidates)
      tried += "\n" + path;
    return Error{"找不到语音组件 " + std::string(kModuleName) + "，查找过：" + tried};
  }
  return Error{"无法加载语音组件：" + tried};
}

Result<const AppRuntime*> load_runtime(const std::vector<std::string>& candidates) {
  static std::once_flag once;
  static std::optional<Result<const AppRuntime*>> loaded;
  std::call_once(once, [&] { loaded = open_runtime(candidates); });
  return *loaded;
}

std::shared_ptr<speech::SpeechBackend> unavailable_backend(Error why) {
  return std::make_shared<UnavailableBackend>(std::move(why));
}

}  // namespace virn::app
