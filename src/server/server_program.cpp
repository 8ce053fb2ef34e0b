#include "server/server_program.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>

#include "server/access_keys.h"
#include "server/server_options.h"
#include "server/shutdown_signals.h"
#include "server/synthesis_queue.h"
#include "server/tts_service.h"

namespace virn::server {
namespace {

constexpr char kProgram[] = "virn-tts-server";

// Lines from many threads, each written whole.
void log_line(std::string_view line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::string whole(line);
  whole += '\n';
  std::fwrite(whole.data(), 1, whole.size(), stderr);
  std::fflush(stderr);
}

Result<std::vector<std::string>> load_keys(const ServerOptions& options) {
  std::vector<std::string> keys;
  if (!options.keys_file.empty()) {
    std::ifstream file(options.keys_file, std::ios::binary);
    if (!file) return Error{"无法读取访问密钥文件 \"" + options.keys_file + "\""};
    std::ostringstream content;
    content << file.rdbuf();
    auto parsed = parse_key_file(content.str());
    if (!parsed)
      return Error{"访问密钥文件 \"" + options.keys_file + "\"：" + parsed.error().message};
    keys = std::move(*parsed);
    struct stat info {};
    if (stat(options.keys_file.c_str(), &info) == 0 && (info.st_mode & 0077) != 0) {
      log_line(std::string(kProgram) + ": 警告：访问密钥文件 \"" + options.keys_file +
               "\" 可被其他用户读取，建议 chmod 600");
    }
  } else if (const char* list = std::getenv("VIRN_SERVER_KEYS")) {
    auto parsed = parse_key_list(list);
    if (!parsed) return Error{"环境变量 VIRN_SERVER_KEYS：" + parsed.error().message};
    keys = std::move(*parsed);
  }
  if (keys.empty()) {
    return Error{"没有访问密钥：请用 --keys FILE 或环境变量 VIRN_SERVER_KEYS（逗号分隔）提供"};
  }
  return keys;
}

int fail(const std::string& message) {
  log_line(std::string(kProgram) + ": " + message);
  return 2;
}

}  // namespace

int run_server_program(const std::vector<std::string>& args, const BackendFactory& make_backend) {
  auto options = parse_options(args);
  if (!options) return fail(options.error().message);
  if (options->help) {
    std::cout << help_text() << std::flush;
    return 0;
  }
  auto keys = load_keys(*options);
  if (!keys) return fail(keys.error().message);
  const KeyRing key_ring(*keys);
  if (options->threads <= options->queue + 1) {
    log_line(std::string(kProgram) + ": 警告：--threads (" + std::to_string(options->threads) +
             ") 不大于 --queue + 1，队列满时新连接可能要等待而不是立即得到 503");
  }

  // The watcher must exist before any other thread, so that all of them inherit the mask.
  std::mutex service_mutex;
  TtsService* live_service = nullptr;
  bool stop_asked = false;
  auto signals = ShutdownSignals::start([&](int count) {
    if (count > 1) {
      log_line(std::string(kProgram) + ": 再次收到停止信号，立即退出");
      std::_Exit(1);
    }
    log_line(std::string(kProgram) + ": 收到停止信号，不再接受新连接，处理完已接受的请求后退出");
    std::lock_guard lock(service_mutex);
    stop_asked = true;
    if (live_service) live_service->stop();
  });
  if (!signals) return fail(signals.error().message);

  const auto backend = make_backend();
  SynthesisQueue queue(*backend, options->queue);

  ServiceSettings settings;
  settings.listen = options->listen;
  settings.cert_file = options->cert_file;
  settings.key_file = options->key_file;
  settings.threads = options->threads;
  settings.log = log_line;
  auto service = TtsService::create(settings, key_ring, queue);
  if (!service) return fail(service.error().message);
  {
    std::lock_guard lock(service_mutex);
    live_service = service->get();
    if (stop_asked) live_service->stop();
  }

  const std::string where = address_text(options->listen.host, (*service)->port());
  std::cout << "listening on " << where << std::endl;
  log_line(std::string(kProgram) + ": " + (options->cert_file.empty() ? "http" : "https") + "://" +
           where + "/v1/tts，引擎：" + backend->describe() + "，" +
           std::to_string(key_ring.size()) + " 个访问密钥，" + std::to_string(options->threads) +
           " 个连接线程，队列 " + std::to_string(options->queue));

  (*service)->run();
  queue.shutdown();
  {
    std::lock_guard lock(service_mutex);
    live_service = nullptr;
  }
  signals->reset();
  log_line(std::string(kProgram) + ": 已停止");
  return 0;
}

}  // namespace virn::server
