// A host command's output, for tests that ask the desktop's own tools
// (xdg-mime) what the program changed.
#pragma once

#include <cstdio>
#include <string>

namespace lwtest {

// What `command` (run by the shell) prints, without its last newlines.
inline std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

}  // namespace lwtest
