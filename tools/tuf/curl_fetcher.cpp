#include "curl_fetcher.h"

namespace orv::tuf_client {
namespace {

using tuf::Failure;
using tuf::Status;

struct Transfer {
  CURL* curl;
  tuf::ByteSink* sink;
  long status = 0;
  bool refused = false;
};

// Bodies of answers other than 200 are dropped; a sink that refuses bytes ends the transfer.
std::size_t onData(char* data, std::size_t size, std::size_t count, void* context) {
  Transfer& t = *static_cast<Transfer*>(context);
  if (t.status == 0) curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &t.status);
  if (t.status != 200) return size * count;
  if (t.sink->write(data, size * count)) return size * count;
  t.refused = true;
  return 0;
}

}  // namespace

CurlFetcher::CurlFetcher() : curl_(curl_easy_init()) {}

Status CurlFetcher::fetch(const std::string& url, std::uint64_t maxLength, tuf::ByteSink& sink) {
  CURL* curl = curl_.get();
  Transfer transfer{curl, &sink};
  curl_easy_reset(curl);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that sends less than a byte a second for a minute is given up.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  // The loopback address is never behind a proxy the environment names.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
  // Without a bound libcurl takes 0 as none: an empty file is bounded by its sink alone.
  if (maxLength > 0)
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxLength));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onData);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  const CURLcode result = curl_easy_perform(curl);
  if (transfer.refused) return Status(Failure::kStorage, "bytes refused: " + url);
  if (result == CURLE_FILESIZE_EXCEEDED) return Status(Failure::kLengthExceeded, url);
  if (result != CURLE_OK)
    return Status(Failure::kUnreachable, url + ": " + curl_easy_strerror(result));
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status == 403 || status == 404) return Status(Failure::kNotFound, url);
  if (status != 200)
    return Status(Failure::kUnreachable, url + ": HTTP status " + std::to_string(status));
  return {};
}

}  // namespace orv::tuf_client
