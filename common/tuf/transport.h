#pragma once
// What the update client needs of the world around it: a fetcher for files by address, and
// sinks for the bytes that arrive. The program brings its own downloader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "failure.h"

namespace orv::tuf {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False refuses the bytes: the fetch stops.
  virtual bool write(const char* data, std::size_t size) = 0;
};

class Fetcher {
 public:
  virtual ~Fetcher() = default;
  // Fetches `url`, handing the body to `sink` as it arrives; never more than `maxLength` bytes
  // (a longer body, or one announced as longer, ends the fetch with kLengthExceeded). Stops as
  // soon as the sink refuses bytes. kNotFound when the server says it has no such file,
  // kUnreachable for any other failure.
  virtual Status fetch(const std::string& url, std::uint64_t maxLength, ByteSink& sink) = 0;
};

}  // namespace orv::tuf
