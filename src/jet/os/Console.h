#pragma once
// The console tool's standard streams and arguments. Text is UTF-8 inside the program; what
// reaches the user is UTF-8 bytes on Linux and in a file or pipe on Windows (the same bytes,
// so scripts read the same output), and wide characters on a Windows console, which shows
// Chinese right whatever its code page.
#include <optional>
#include <string>
#include <vector>

namespace jet::os {

// Points std::cout and std::cerr at the process's standard output and error as above.
// Nothing to do on Linux.
void setUpConsole();

// An environment variable of this process as UTF-8, or nothing when it is not set. On Windows
// it is read wide, so that text outside the system's code page (a Chinese password) survives.
std::optional<std::string> environment(const char* name);

#ifdef _WIN32
// wmain's arguments (argv[1] on) as UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);
#endif

}  // namespace jet::os
