#pragma once
// Paths as the engine passes them around: UTF-8 text in the system's own form. Windows
// takes '\' and '/' as separators and a drive ("C:") in front; elsewhere '/' alone.
#include <string>
#include <string_view>

namespace jet::os {

// Where the last separator stands, or npos when there is none.
size_t lastSeparator(std::string_view path);
// The folder holding path: "." when the path names none, the root ("/", "C:\") with its
// separator.
std::string folderOf(const std::string& path);

}  // namespace jet::os
