// web_request against a bare libcurl easy request, on loopback HTTP.
//
// Both send the same request to the same local server: the same POST body and the same
// header lines (the caller's Authorization and the default lines web_request adds), so the
// difference is the routine's own work. Each uses a fresh easy handle per request (so each
// opens its own connection); they are interleaved in one run so that drift of the machine
// hits both alike. Prints median and p90 per request and the ratio of the medians; the
// goal is a ratio of at most 1.10.
//
//   bench_web_request [requests per side, default 2000]

#include <curl/curl.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "util/base64.h"
#include "web/web_request.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kBody =
    "&speaker=1&emotion=0&emotionLevel=2&volume=5&speed=5&pitch=5&format=wav&text="
    "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF";

std::size_t keep_body(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The header lines web_request sends for a POST from the window.
std::vector<std::string> header_lines(const std::string& url, const std::string& authorization) {
  return {authorization,
          "Accept: */*",
          "Referer: " + url,
          "Accept-Language: zh-cn",
          "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
          "Content-Type: application/x-www-form-urlencoded"};
}

// The same request made with libcurl alone.
long bare_request(const std::string& url, const std::string& authorization) {
  CURL* handle = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const std::string& line : header_lines(url, authorization)) {
    headers = curl_slist_append(headers, line.c_str());
  }
  std::string body;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, kBody.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(kBody.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &keep_body);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_perform(handle);
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(handle);
  return status;
}

long virn_request(const std::string& url, const std::string& authorization) {
  virn::web::WebRequest request;
  request.url = url;
  request.method = 1;
  request.body_text = kBody;
  request.headers = authorization;
  const virn::Bytes body = virn::web::web_request(request);
  return request.status;
}

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

template <typename Request>
double time_one(Request request, const std::string& url, const std::string& authorization) {
  const auto start = Clock::now();
  const long status = request(url, authorization);
  const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  if (status != 200) {
    std::fprintf(stderr, "request failed with status %ld\n", status);
    std::exit(1);
  }
  return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  curl_global_init(CURL_GLOBAL_DEFAULT);

  httplib::Server server;
  const std::string reply(4096, 'w');
  server.Post("/v1/tts", [&reply](const httplib::Request&, httplib::Response& response) {
    response.set_content(reply, "audio/wav");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::thread listener([&server] { server.listen_after_bind(); });

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/v1/tts";
  const std::string authorization =
      "Authorization: Basic " + virn::base64_encode(virn::to_bytes("benchmark-key:"));

  for (int i = 0; i < 50; ++i) {
    time_one(bare_request, url, authorization);
    time_one(virn_request, url, authorization);
  }
  std::vector<double> bare;
  std::vector<double> virn;
  bare.reserve(static_cast<std::size_t>(count));
  virn.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    // Alternate which goes first, so neither always follows the other's connection close.
    if (i % 2 == 0) {
      bare.push_back(time_one(bare_request, url, authorization));
      virn.push_back(time_one(virn_request, url, authorization));
    } else {
      virn.push_back(time_one(virn_request, url, authorization));
      bare.push_back(time_one(bare_request, url, authorization));
    }
  }
  server.stop();
  listener.join();

  const double bare_median = percentile(bare, 0.5);
  const double virn_median = percentile(virn, 0.5);
  std::printf("requests per side: %d\n", count);
  std::printf("bare libcurl   median %8.1f us   p90 %8.1f us\n", bare_median,
              percentile(bare, 0.9));
  std::printf("web_request    median %8.1f us   p90 %8.1f us\n", virn_median,
              percentile(virn, 0.9));
  std::printf("ratio of medians (goal <= 1.10): %.3f\n", virn_median / bare_median);
  return 0;
}
