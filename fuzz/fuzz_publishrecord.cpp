// Any bytes as a line of the publish record: a line either reads or is
// refused, and what reads is written back to a line that reads the same.
#include "blog/publishrecord.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace inkpost;
  const auto attempt = parsePublishRecordLine(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!attempt) return 0;
  const std::string line = publishRecordLine(*attempt);
  if (line.find('\n') != std::string::npos || parsePublishRecordLine(line) != attempt) std::abort();
  return 0;
}
