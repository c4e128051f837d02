#pragma once
// The command-line client's fetcher: HTTP and HTTPS through libcurl, no redirects.
#include <curl/curl.h>

#include <memory>

#include "transport.h"

namespace orv::tuf_client {

class CurlFetcher : public tuf::Fetcher {
 public:
  CurlFetcher();
  bool ok() const { return curl_ != nullptr; }

  // 403 and 404 are kNotFound (servers that hide what they lack answer 403); other statuses,
  // and failed connections, kUnreachable.
  tuf::Status fetch(const std::string& url, std::uint64_t maxLength, tuf::ByteSink& sink) override;

 private:
  struct Cleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  };
  std::unique_ptr<CURL, Cleanup> curl_;
};

}  // namespace orv::tuf_client
