#include "jet/os/Path.h"

namespace jet::os {

#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

size_t lastSeparator(std::string_view path) { return path.find_last_of(kSeparators); }

std::string folderOf(const std::string& path) {
  const size_t at = lastSeparator(path);
#ifdef _WIN32
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (at == std::string::npos) return drive ? path.substr(0, 2) : ".";
  if (at == 0 || (drive && at == 2)) return path.substr(0, at + 1);
#else
  if (at == std::string::npos) return ".";
  if (at == 0) return "/";
#endif
  return path.substr(0, at);
}

}  // namespace jet::os
