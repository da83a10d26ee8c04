// Shared pieces of the framework tests: a captured log and a video system kept up for the whole run.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/Log.h"

namespace fwtest {

// Routes the log into a scratch file for the life of the object.
class CapturedLog {
public:
    CapturedLog() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvfw-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = mkstemp(buffer.data());
        if (fd >= 0) close(fd);
        path_ = buffer.data();
        trivale::CloseLogFile();
        trivale::OpenLogFileAt(path_);
    }
    ~CapturedLog() {
        trivale::CloseLogFile();
        std::remove(path_.c_str());
    }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(Text());
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

private:
    std::string path_;
};

// The video system and its GL library stay loaded for the whole run: the leak checker can name (and
// so pass over) what the system libraries keep only while they are still mapped.
class KeepVideo : public ::testing::Environment {
public:
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) SDL_GL_LoadLibrary(nullptr);
    }
};

}  // namespace fwtest
