#include "live_fetch.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

#include "hex_text.h"

namespace orv::manifest_tool {

namespace {

struct Transfer {
  EVP_MD_CTX* digest = nullptr;
  FetchedFile* got = nullptr;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& t = *static_cast<Transfer*>(context);
  EVP_DigestUpdate(t.digest, data, size * count);
  t.got->size += size * count;
  return size * count;
}

// Headers of the final answer only: a redirect's are dropped when the next status line comes.
std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* context) {
  auto& got = *static_cast<Transfer*>(context)->got;
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.compare(0, 5, "HTTP/") == 0) {
    got.contentLength.reset();
    got.contentEncoding.clear();
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string::npos) return size * count;
  std::string name = line.substr(0, colon);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::string value = line.substr(colon + 1);
  value.erase(0, value.find_first_not_of(" \t"));
  if (name == "content-length") {
    const bool digits = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    got.contentLength = digits && value.size() < 20 ? std::stoull(value) : UINTMAX_MAX;
  }
  if (name == "content-encoding") got.contentEncoding = value;
  return size * count;
}

}  // namespace

FetchedFile fetchOverCurl(const std::string& url) {
  FetchedFile got;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(),
                                                                 EVP_MD_CTX_free);
  if (!curl || !digest || !EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr)) {
    got.error = "cannot start a transfer";
    return got;
  }
  Transfer t{digest.get(), &got};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);  // the updater's bound
  curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);  // the updater's "//" and "\" as they are
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(c, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
  // Offered as a browser offers it, and never decoded here: a server that compresses shows.
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(
      curl_slist_append(nullptr, "Accept-Encoding: gzip, deflate"), curl_slist_free_all);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  const CURLcode result = curl_easy_perform(c);
  if (result != CURLE_OK) {
    got.error = curl_easy_strerror(result);
    return got;
  }
  got.reached = true;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &got.status);
  unsigned char sum[EVP_MAX_MD_SIZE];
  unsigned int sumSize = 0;
  EVP_DigestFinal_ex(digest.get(), sum, &sumSize);
  got.sha256 = hexText(sum, sumSize);
  return got;
}

}  // namespace orv::manifest_tool
